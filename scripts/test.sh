#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine in a
# fresh prefix and home folder of its own, on a private X display: on the
# 32-bit build where this machine runs 32-bit code, else on the x86_64
# build under 64-bit Wine (KORVANE_TEST_ARCH=x86 or x64 forces one).
# Extra arguments go to ctest (for example -R startup).
set -euo pipefail
. "$(dirname "$0")/common.sh"
korvane_say_arch test

bash "$KORVANE_ROOT/scripts/build.sh"

run=$KORVANE_ARCH_BUILD/test-run
rm -rf "$run"
cleanup() {
  korvane_stop_wine
  korvane_stop_xvfb
}
trap cleanup EXIT
korvane_start_xvfb 1280x1024x24
korvane_wine_prefix "$run"

cd "$KORVANE_ARCH_BUILD"
ctest --output-on-failure --timeout 300 -j"$(nproc)" "$@"
