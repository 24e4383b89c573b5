# Cross compiling for 64-bit Windows with Debian's mingw-w64 (x86_64): the
# build the tests run on where this machine cannot run 32-bit code. The
# shipped programs always come from the i686 build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVANE_MINGW_PREFIX x86_64-w64-mingw32)
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
