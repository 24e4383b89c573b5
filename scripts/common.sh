# Shared by build.sh, test.sh and run.sh: the folders, the Wine settings and
# the start and stop of a private X display. Source it; do not run it.

KORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KORVANE_BUILD=${KORVANE_BUILD:-$KORVANE_ROOT/build}

# Wine: no Mono or Gecko installers, no debug chatter, English with the
# ANSI code page 1252.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# korvane_start_xvfb GEOMETRY: starts Xvfb on a free display and exports
# DISPLAY; KORVANE_XVFB_PID holds its process.
korvane_start_xvfb() {
  local geometry=${1:-1280x1024x24} fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  KORVANE_XVFB_PID=$!
  local display
  if ! read -r -t 30 display <"$fifo"; then
    rm -f "$fifo"
    echo "Xvfb did not start" >&2
    return 1
  fi
  rm -f "$fifo"
  export DISPLAY=:$display
}

korvane_stop_xvfb() {
  if [ -n "${KORVANE_XVFB_PID:-}" ]; then
    kill "$KORVANE_XVFB_PID" 2>/dev/null || true
    wait "$KORVANE_XVFB_PID" 2>/dev/null || true
    KORVANE_XVFB_PID=
  fi
}

# korvane_wine_prefix DIR: a Wine prefix and home folder under DIR, made
# when missing. Exports WINEPREFIX and HOME.
korvane_wine_prefix() {
  local dir=$1
  mkdir -p "$dir/home"
  export HOME=$dir/home
  export WINEPREFIX=$dir/prefix
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
}

korvane_stop_wine() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
}
