#!/usr/bin/env bash
# Installs what is missing, builds the dependencies (cached) and the
# project: the 32-bit build in build/ (the shipped programs and the pen
# drive in build/pendrive) and, where the tests run on the x86_64 build
# (see common.sh), that build too, in build/x64.
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

if [ "$KORVANE_ARCH" = x64 ]; then
  korvane_configure x86_64 "$KORVANE_ARCH_BUILD" \
    -DKORVANE_WINE="$KORVANE_WINE" -DKORVANE_WINEARCH=win64 \
    -DKORVANE_SHIPPED_DIR="$KORVANE_BUILD/pendrive"
  cmake --build "$KORVANE_ARCH_BUILD"
  # The 32-bit build's demo data comes from the x86_64 data tool: no step
  # of the build runs a 32-bit program.
  korvane_configure i686 "$KORVANE_BUILD" \
    -DKORVANE_WINE="$KORVANE_WINE" -DKORVANE_WINEARCH=win64 \
    -DKORVANE_DEMO_DATA_TOOL="$KORVANE_ARCH_BUILD/bin/KorvaneDataTool.exe"
else
  korvane_configure i686 "$KORVANE_BUILD" \
    -DKORVANE_WINE="$KORVANE_WINE" -DKORVANE_WINEARCH=win32 \
    -DKORVANE_DEMO_DATA_TOOL=
fi
cmake --build "$KORVANE_BUILD"
