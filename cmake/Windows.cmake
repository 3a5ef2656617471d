# What the Windows build takes in place of the Debian libraries: BCrypt and WinSCard come with
# MinGW; the JSON header and GoogleTest come from the build machine's Debian packages.

# A manifest that makes UTF-8 the process code page (Windows 10 1903 and later): arguments,
# file names and the C library's narrow file calls all take UTF-8, as on Linux. zendorcfg.exe and
# every test program link it.
enable_language(RC)
set(ZENDOR_MANIFEST ${PROJECT_SOURCE_DIR}/cmake/windows/utf8.manifest)
configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/utf8_manifest.rc.in
               ${PROJECT_BINARY_DIR}/utf8_manifest.rc @ONLY)
add_library(zendor_utf8_manifest OBJECT ${PROJECT_BINARY_DIR}/utf8_manifest.rc)

# One zendorcfg.exe that needs no DLL beside it: the C and C++ runtimes and winpthread are linked
# in, so only Windows' own DLLs are imported.
add_link_options(-static)

# nlohmann-json is one header tree; only that tree is made visible, since /usr/include itself
# holds the build machine's C library headers.
find_path(ZENDOR_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          NO_DEFAULT_PATH REQUIRED)
set(zendor_json_root ${PROJECT_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${zendor_json_root})
file(CREATE_LINK ${ZENDOR_JSON_INCLUDE}/nlohmann ${zendor_json_root}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${zendor_json_root})

# GoogleTest from its Debian source package, cross-built with the rest (before the project's
# warning options, which are not its own); it names its targets GTest::gtest and so on.
if(ZENDOR_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
