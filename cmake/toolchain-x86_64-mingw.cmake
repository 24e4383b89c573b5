# Cross compiling for 64-bit Windows with Debian's mingw-w64 (x86_64): the
# build the tests run on where this machine cannot run 32-bit code, and a
# check on every machine that the sources are 64-bit clean.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVANE_MINGW_PREFIX x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")
