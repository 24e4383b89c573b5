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

# The dependencies of both architectures, built side by side where the
# cache lacks them (a warm cache answers at once); each writes its CMake
# file, and its output goes to a log that is shown when it fails.
x64=$KORVANE_BUILD/x64
mkdir -p "$x64"
declare -A deps_pid
for arch in i686 x86_64; do
  if [ "$arch" = i686 ]; then dir=$KORVANE_BUILD; else dir=$x64; fi
  bash "$KORVANE_ROOT/scripts/build-deps.sh" "$arch" "$dir/deps.cmake" >"$dir/deps.log" 2>&1 &
  deps_pid[$arch]=$!
done
for arch in i686 x86_64; do
  if [ "$arch" = i686 ]; then dir=$KORVANE_BUILD; else dir=$x64; fi
  if ! wait "${deps_pid[$arch]}"; then
    cat "$dir/deps.log" >&2
    echo "build: the $arch dependencies failed" >&2
    exit 1
  fi
  cat "$dir/deps.log"
done

# korvane_configure ARCH DIR ARGS...: the CMake tree of ARCH in DIR.
korvane_configure() {
  local arch=$1 dir=$2
  shift 2
  cmake -S "$KORVANE_ROOT" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$KORVANE_ROOT/cmake/toolchain-$arch-mingw.cmake" \
    -DKORVANE_DEPS_FILE="$dir/deps.cmake" "$@" >/dev/null
}

korvane_configure x86_64 "$x64" \
  -DKORVANE_WINE=/usr/lib/wine/wine64 -DKORVANE_WINEARCH=win64 \
  -DKORVANE_SHIPPED_DIR="$KORVANE_BUILD/pendrive"

if [ "$KORVANE_ARCH" = x64 ]; then
  # The 32-bit build's demo data comes from the x86_64 data tool: no step
  # of the build runs a 32-bit program, and the x86_64 tree is built first.
  cmake --build "$x64"
  korvane_configure i686 "$KORVANE_BUILD" \
    -DKORVANE_WINE=/usr/lib/wine/wine64 -DKORVANE_WINEARCH=win64 \
    -DKORVANE_DEMO_DATA_TOOL="$x64/bin/KorvaneDataTool.exe"
  cmake --build "$KORVANE_BUILD"
else
  # The two trees need nothing of each other: built side by side.
  korvane_configure i686 "$KORVANE_BUILD" \
    -DKORVANE_WINE=wine -DKORVANE_WINEARCH=win32 \
    -DKORVANE_DEMO_DATA_TOOL=
  cmake --build "$x64" >"$x64/build.log" 2>&1 &
  x64_pid=$!
  status=0
  cmake --build "$KORVANE_BUILD" || status=$?
  if ! wait "$x64_pid"; then
    cat "$x64/build.log" >&2
    echo "build: the x86_64 tree failed" >&2
    exit 1
  fi
  grep -v '^\[[0-9]*/[0-9]*\] ' "$x64/build.log" || true
  exit $status
fi
