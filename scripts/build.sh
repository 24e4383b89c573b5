#!/usr/bin/env bash
# Installs what is missing, builds the dependencies (cached) and the
# project twice from the same sources: the 32-bit build in build/ (the
# shipped programs, and the pen drive in build/pendrive) and the x86_64
# build in build/x64. Both compile on every machine, so a pointer kept in a
# 32-bit integer fails the build everywhere; the tests run on one of them
# (see common.sh).
set -euo pipefail
. "$(dirname "$0")/common.sh"

bash "$KORVANE_ROOT/scripts/install-packages.sh" "$KORVANE_ARCH"

# korvane_configure ARCH DIR ARGS...: the dependencies of ARCH and the
# CMake tree in DIR.
korvane_configure() {
  local arch=$1 dir=$2
  shift 2
  bash "$KORVANE_ROOT/scripts/build-deps.sh" "$arch" "$dir/deps.cmake"
  cmake -S "$KORVANE_ROOT" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$KORVANE_ROOT/cmake/toolchain-$arch-mingw.cmake" \
    -DKORVANE_DEPS_FILE="$dir/deps.cmake" "$@" >/dev/null
}

x64=$KORVANE_BUILD/x64
korvane_configure x86_64 "$x64" \
  -DKORVANE_WINE=/usr/lib/wine/wine64 -DKORVANE_WINEARCH=win64 \
  -DKORVANE_SHIPPED_DIR="$KORVANE_BUILD/pendrive"
cmake --build "$x64"

if [ "$KORVANE_ARCH" = x64 ]; then
  # The 32-bit build's demo data comes from the x86_64 data tool: no step
  # of the build runs a 32-bit program.
  korvane_configure i686 "$KORVANE_BUILD" \
    -DKORVANE_WINE=/usr/lib/wine/wine64 -DKORVANE_WINEARCH=win64 \
    -DKORVANE_DEMO_DATA_TOOL="$x64/bin/KorvaneDataTool.exe"
else
  korvane_configure i686 "$KORVANE_BUILD" \
    -DKORVANE_WINE=wine -DKORVANE_WINEARCH=win32 \
    -DKORVANE_DEMO_DATA_TOOL=
fi
cmake --build "$KORVANE_BUILD"
