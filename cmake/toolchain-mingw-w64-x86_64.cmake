# Cross-builds the Windows program with Debian's MinGW-w64. The posix thread model is the one
# whose C++ library has std::thread and std::mutex. Programs built here run under Wine, which is
# how CTest starts the Windows tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZENDOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZENDOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZENDOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZENDOR_MINGW_TRIPLE}-windres)

# Headers and libraries only from the MinGW tree, never the build machine's; programs from it.
set(CMAKE_FIND_ROOT_PATH /usr/${ZENDOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine through a wrapper that runs a program once more only when Wine failed to start it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/lib/wine-run.sh)
