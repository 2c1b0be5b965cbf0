# Cross-compiles SMS_TEST for 64-bit Windows with the mingw-w64 tool chain
# (Debian: g++-mingw-w64-x86-64).  Usage:
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DBUILD_TESTING=OFF
#   cmake --build build-win -j2          # gives build-win/SMS_TEST.exe
#
# The executable is linked statically (C and C++ runtimes and winpthread), so
# it runs on a bare Windows PC, or under Wine, without any DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SMS_MINGW_PREFIX x86_64-w64-mingw32 CACHE STRING "Target triple of the mingw-w64 tools")

# Debian ships each compiler in two threading flavours; the "-posix" one has
# the complete C++17 library.  Fall back to the plain name elsewhere.
find_program(SMS_MINGW_CXX NAMES ${SMS_MINGW_PREFIX}-g++-posix ${SMS_MINGW_PREFIX}-g++ REQUIRED)
find_program(SMS_MINGW_CC NAMES ${SMS_MINGW_PREFIX}-gcc-posix ${SMS_MINGW_PREFIX}-gcc REQUIRED)
find_program(SMS_MINGW_RC NAMES ${SMS_MINGW_PREFIX}-windres)
set(CMAKE_C_COMPILER ${SMS_MINGW_CC})
set(CMAKE_CXX_COMPILER ${SMS_MINGW_CXX})
if(SMS_MINGW_RC)
  set(CMAKE_RC_COMPILER ${SMS_MINGW_RC})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${SMS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No DLL dependencies beyond the system's own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Nothing built here can run on the build machine; tests that need a Windows
# program are run under Wine by tests/wine/run_wine_tests.sh.
set(BUILD_TESTING OFF CACHE BOOL "Unit tests are built natively, not for Windows")
