#!/usr/bin/env bash
# Installs what is missing, builds the dependencies (cached) and the
# project into build/.
set -euo pipefail
. "$(dirname "$0")/common.sh"

bash "$KORVANE_ROOT/scripts/install-packages.sh"
bash "$KORVANE_ROOT/scripts/build-deps.sh" "$KORVANE_BUILD/deps.cmake"
cmake -S "$KORVANE_ROOT" -B "$KORVANE_BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$KORVANE_ROOT/cmake/toolchain-i686-mingw.cmake" \
  -DKORVANE_DEPS_FILE="$KORVANE_BUILD/deps.cmake" >/dev/null
cmake --build "$KORVANE_BUILD"
