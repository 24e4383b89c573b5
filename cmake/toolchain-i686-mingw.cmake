# Cross compiling for 32-bit Windows with Debian's mingw-w64 (i686).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KORVANE_MINGW_PREFIX i686-w64-mingw32)
# The posix thread model gives the tests std::thread; the program itself
# uses the Win32 thread API only. Everything is linked statically.
set(CMAKE_C_COMPILER   ${KORVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${KORVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
