#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine: on the
# 32-bit build where this machine runs 32-bit code, else on the x86_64
# build under 64-bit Wine (KORVANE_TEST_ARCH=x86 or x64 forces one;
# KORVANE_TEST_ARCH=both runs both suites side by side where the machine
# runs 32-bit code, as CI does).
# ctest runs the entries side by side, each in a Wine prefix, home folder,
# X display and network of its own (tests/support/own-prefix.sh), copied
# from one template prefix a suite, booted here while the build runs.
# Extra arguments go to ctest (for example -R startup). The last line is
# ctest's summary (with both suites, one line with both summaries).
set -euo pipefail
both=0
if [ "${KORVANE_TEST_ARCH:-}" = both ]; then
  both=1
  unset KORVANE_TEST_ARCH
fi
. "$(dirname "$0")/common.sh"
if [ $both -eq 1 ] && [ "$KORVANE_ARCH" != x86 ]; then
  echo "test: this machine cannot run 32-bit code: the x86_64 build's suite alone"
  both=0
fi

bash "$KORVANE_ROOT/scripts/install-packages.sh" "$KORVANE_ARCH"

# suite_env ARCH: the settings of the suite of ARCH (x86 or x64).
suite_env() {
  export KORVANE_TEST_ARCH=$1
  . "$KORVANE_ROOT/scripts/common.sh"
}

suite_build() {
  if [ "$1" = x86 ]; then echo "$KORVANE_BUILD"; else echo "$KORVANE_BUILD/x64"; fi
}

# boot_template ARCH: boots the template prefix of the suite of ARCH in the
# background, beside the build; its process id lands in template_pid[ARCH].
declare -A template_pid
boot_template() {
  local run
  run=$(suite_build "$1")/test-run
  rm -rf "$run"
  mkdir -p "$run"
  (
    suite_env "$1"
    trap 'korvane_stop_wine; korvane_stop_xvfb' EXIT
    korvane_start_xvfb 1280x1024x24
    korvane_wine_prefix "$run/template"
  ) >"$run/template.log" 2>&1 &
  template_pid[$1]=$!
}

# wait_template ARCH: true once the template of ARCH is ready.
wait_template() {
  local run
  run=$(suite_build "$1")/test-run
  if ! wait "${template_pid[$1]}" || [ ! -f "$run/template/prefix/system.reg" ]; then
    echo "test: the template Wine prefix of the $1 suite could not be made" >&2
    cat "$run/template.log" >&2
    return 1
  fi
}

# run_suite ARCH ARGS...: ctest of the suite of ARCH, in a subshell.
run_suite() (
  suite_env "$1"
  shift
  run=$KORVANE_ARCH_BUILD/test-run
  export KORVANE_TEMPLATE_PREFIX=$run/template/prefix
  export KORVANE_ENTRIES=$run/entries
  # An entry that starts Wine without own-prefix.sh still stays off the
  # host's own files.
  mkdir -p "$run/shared/home"
  export HOME=$run/shared/home WINEPREFIX=$run/shared/prefix
  cd "$KORVANE_ARCH_BUILD"
  ctest --output-on-failure --timeout 300 -j"$(nproc)" "$@"
)

if [ $both -eq 0 ]; then
  korvane_say_arch test
  arch=$KORVANE_ARCH
  boot_template "$arch"
  bash "$KORVANE_ROOT/scripts/build.sh"
  wait_template "$arch"
  run_suite "$arch" "$@"
  exit $?
fi

# Both suites: one build, two templates, two ctest runs side by side; the
# x86_64 suite's output follows the 32-bit one's, then one line with both
# summaries.
echo "test: both suites, side by side: the 32-bit build under 32-bit Wine, the x86_64 build under 64-bit Wine"
boot_template x86
boot_template x64
bash "$KORVANE_ROOT/scripts/build.sh"
wait_template x86
wait_template x64
x86_log=$KORVANE_BUILD/test-run/ctest.log
x64_log=$KORVANE_BUILD/x64/test-run/ctest.log
run_suite x64 "$@" >"$x64_log" 2>&1 &
x64_job=$!
x86_status=0
run_suite x86 "$@" 2>&1 | tee "$x86_log" || x86_status=$?
x64_status=0
wait "$x64_job" || x64_status=$?
echo
echo "test: the x86_64 build's suite:"
cat "$x64_log"
summary() {
  local line
  line=$(grep -E '^[0-9]+% tests passed' "$1" | tail -n1) || true
  echo "${line:-no summary}"
}
echo "test: x86: $(summary "$x86_log"); x64: $(summary "$x64_log")"
[ $x86_status -eq 0 ] && [ $x64_status -eq 0 ]
