#!/usr/bin/env bash
# Installs what is missing, builds, and starts Korvane.exe under Wine from
# its own folder on drive C of a prefix kept under build/run (so the diary
# and settings survive between runs), with a demo data file beside it.
# Where this machine cannot run 32-bit code the program is the x86_64 build
# of the same sources, under 64-bit Wine (KORVANE_TEST_ARCH=x86 or x64
# forces one).
#
# With a display (DISPLAY set) the program runs in the foreground until it
# is closed. Without one, a private Xvfb is started; the script waits for the
# main window, saves a screenshot, prints its path and closes the program.
set -euo pipefail
. "$(dirname "$0")/common.sh"
korvane_say_arch run

bash "$KORVANE_ROOT/scripts/build.sh" >/dev/null

bin=$KORVANE_ARCH_BUILD/bin
run=$KORVANE_ARCH_BUILD/run
started_xvfb=0
cleanup() {
  korvane_stop_wine
  [ $started_xvfb -eq 1 ] && korvane_stop_xvfb
  return 0
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  korvane_start_xvfb 1280x1024x24
  started_xvfb=1
fi
korvane_wine_prefix "$run"

folder=$WINEPREFIX/drive_c/Korvane
mkdir -p "$folder"
cp "$bin/Korvane.exe" "$folder/"
datatool=$bin/KorvaneDataTool.exe
if [ ! -f "$folder/KorvaneData.db" ] && [ -f "$datatool" ]; then
  echo "run: making a demo KorvaneData.db"
  "$KORVANE_WINE" "$datatool" make-data 'C:\Korvane\KorvaneData.db' 100000 >/dev/null
fi

cd "$folder"
if [ $started_xvfb -eq 0 ]; then
  "$KORVANE_WINE" 'C:\Korvane\Korvane.exe'
  exit 0
fi

"$KORVANE_WINE" 'C:\Korvane\Korvane.exe' &
program=$!
shot=$run/screenshot.png
status=0
"$KORVANE_WINE" "$bin/KorvaneDriver.exe" wait-window KORVANE "Korvane 14.906" 60000 >/dev/null || status=$?
if [ $status -eq 0 ]; then
  sleep 1
  import -window root "$shot"
  echo "run: the main window is up; screenshot: $shot"
  "$KORVANE_WINE" "$bin/KorvaneDriver.exe" close-window KORVANE "Korvane 14.906" >/dev/null || true
else
  # The program stopped at a message (a missing data file, say): show it.
  import -window root "$shot"
  echo "run: the program stopped before its main window; screenshot of its message: $shot"
  "$KORVANE_WINE" "$bin/KorvaneDriver.exe" message-box 1000 || true
fi
wait $program || true
