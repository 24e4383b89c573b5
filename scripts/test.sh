#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine: on the
# 32-bit build where this machine runs 32-bit code, else on the x86_64
# build under 64-bit Wine (KORVANE_TEST_ARCH=x86 or x64 forces one).
# ctest runs the entries side by side, each in a Wine prefix, home folder,
# X display and network of its own (tests/support/own-prefix.sh), copied
# from one template prefix booted here while the build runs.
# Extra arguments go to ctest (for example -R startup).
set -euo pipefail
. "$(dirname "$0")/common.sh"
korvane_say_arch test

bash "$KORVANE_ROOT/scripts/install-packages.sh" "$KORVANE_ARCH"

run=$KORVANE_ARCH_BUILD/test-run
rm -rf "$run"
mkdir -p "$run"
cleanup() {
  korvane_stop_wine
  korvane_stop_xvfb
}
trap cleanup EXIT

# The template prefix, booted beside the build.
(
  korvane_start_xvfb 1280x1024x24
  korvane_wine_prefix "$run/template"
  korvane_stop_xvfb
) >"$run/template.log" 2>&1 &
template_pid=$!

bash "$KORVANE_ROOT/scripts/build.sh"

if ! wait "$template_pid" || [ ! -f "$run/template/prefix/system.reg" ]; then
  echo "test: the template Wine prefix could not be made" >&2
  cat "$run/template.log" >&2
  exit 1
fi
export KORVANE_TEMPLATE_PREFIX=$run/template/prefix
export KORVANE_ENTRIES=$run/entries

cd "$KORVANE_ARCH_BUILD"
ctest --output-on-failure --timeout 300 -j"$(nproc)" "$@"
