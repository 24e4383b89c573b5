#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine in a
# fresh prefix and home folder of its own, on a private X display.
# Extra arguments go to ctest (for example -R startup).
set -euo pipefail
. "$(dirname "$0")/common.sh"

bash "$KORVANE_ROOT/scripts/build.sh"

run=$KORVANE_BUILD/test-run
rm -rf "$run"
cleanup() {
  korvane_stop_wine
  korvane_stop_xvfb
}
trap cleanup EXIT
korvane_start_xvfb 1280x1024x24
korvane_wine_prefix "$run"

cd "$KORVANE_BUILD"
ctest --output-on-failure --timeout 300 -j"$(nproc)" "$@"
