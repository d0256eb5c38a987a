# Cross-builds the Windows program on Linux with Debian's mingw-w64 (64-bit, POSIX threads,
# which GoogleTest needs):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# (cmake/mingw-w64-i686.cmake sets the 32-bit processor and prefix, then includes this.)
set(CMAKE_SYSTEM_NAME Windows)
if(NOT JOTLOG_MINGW_PREFIX)
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
  set(JOTLOG_MINGW_PREFIX x86_64-w64-mingw32)
endif()
set(CMAKE_C_COMPILER ${JOTLOG_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${JOTLOG_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${JOTLOG_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${JOTLOG_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
