# One static library per source folder, and one GoogleTest executable per test folder.

# zendor_library(NAME SOURCES a.cpp b.cpp DEPS other_target ...)
function(zendor_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# zendor_test(NAME SOURCES a_test.cpp ... DEPS zendor_x ...)
function(zendor_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest_main GTest::gmock)
  if(WIN32)
    target_link_libraries(${name} PRIVATE zendor_utf8_manifest)
  endif()
  target_compile_definitions(${name} PRIVATE
    ZENDOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ZENDOR_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)
endfunction()
