#!/usr/bin/env bash
# usage: own-prefix.sh COMMAND...
#
# Runs COMMAND (a Wine loader and a test program, as ctest gives them) in a
# world of its own, so that test programs can run side by side:
#
#   - a Wine prefix copied from the template that scripts/test.sh boots once
#     a run (KORVANE_TEMPLATE_PREFIX; without it one is booted here), with
#     its own wineserver;
#   - a home folder and a working folder of its own;
#   - its own copy of the test program, in a folder of its own: programs
#     that keep files beside themselves (the data file of the live main
#     window) do not meet another run's;
#   - its own X display (Xvfb, the first free one);
#   - its own network namespace with only loopback, where the machine
#     allows it, so fixed ports (the handphone link) never collide;
#   - where KORVANE_DRIVE_P=1, a drive P: of its own (an empty folder), the
#     pen drive of the setup tests.
#
# Everything lives in a fresh folder under KORVANE_ENTRIES (by default
# test-run/entries of the build, beside the test), named after
# KORVANE_ENTRY, the ctest entry. The wineserver and Xvfb are stopped when
# COMMAND ends; COMMAND's exit status is the script's.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Own network namespace first: everything below, Xvfb and the wineserver
# included, lives in it. Where unshare is refused (not root), the command
# runs in the host's network as before.
if [ -z "${KORVANE_OWN_NETWORK:-}" ]; then
  export KORVANE_OWN_NETWORK=1
  if unshare -n true 2>/dev/null; then
    exec unshare -n bash -c 'ip link set lo up && exec bash "$0" "$@"' "${BASH_SOURCE[0]}" "$@"
  fi
  KORVANE_OWN_NETWORK=shared
fi

[ $# -gt 0 ] || { echo "usage: own-prefix.sh COMMAND..." >&2; exit 2; }

entries=${KORVANE_ENTRIES:-$PWD/test-run/entries}
mkdir -p "$entries"
name=${KORVANE_ENTRY:-$(basename "${2:-$1}" .exe)}
name=${name//[^A-Za-z0-9_.-]/_}
entry=$(mktemp -d "$entries/$name.XXXX")

xvfb_pid=
stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    "${KORVANE_WINESERVER:-wineserver}" -k >/dev/null 2>&1
    "${KORVANE_WINESERVER:-wineserver}" -w >/dev/null 2>&1
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  fi
}
trap stop EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# The prefix: hard links to the template's program modules (DLLs and
# programs, which nothing writes), real copies of everything else (the
# registry, the folders the tests write in), so nothing reaches the
# template or another run.
export HOME=$entry/home
export WINEPREFIX=$entry/prefix
mkdir -p "$HOME"
template=${KORVANE_TEMPLATE_PREFIX:-}
if [ -n "$template" ] && [ -f "$template/system.reg" ]; then
  cp -al "$template" "$WINEPREFIX" || exit 1
  find "$WINEPREFIX" -type f -links +1 \
    ! -iregex '.*/drive_c/windows/.*\.\(dll\|exe\|drv\|sys\|acm\|ocx\|cpl\|tlb\|ax\|ds\|vxd\)' \
    -exec sh -c 'for f; do cp -p "$f" "$f.own" && mv -f "$f.own" "$f" || exit 1; done' sh {} + || exit 1
  # The user's Desktop, Documents and the like are links to the home
  # folder the template was booted with: each run gets links to its own.
  template_home=$(dirname "$template")/home
  while IFS= read -r -d '' link; do
    target=$(readlink "$link")
    case $target in
      "$template_home"|"$template_home"/*)
        ln -sfn "$HOME${target#"$template_home"}" "$link" || exit 1 ;;
    esac
  done < <(find "$WINEPREFIX/drive_c" -type l -print0)
fi

# The X display. Xvfb started beside many others now and then fails to
# make its keyboard; another try then starts.
display=
for attempt in 1 2 3; do
  fifo=$entry/display
  rm -f "$fifo"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${KORVANE_SCREEN:-1280x1024x24}" -nolisten tcp -noreset \
    3>"$fifo" >"$entry/xvfb.log" 2>&1 &
  xvfb_pid=$!
  if read -r -t 60 display <"$fifo"; then
    break
  fi
  display=
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
  echo "own-prefix: Xvfb did not start (attempt $attempt of 3):" >&2
  cat "$entry/xvfb.log" >&2
done
rm -f "$fifo"
[ -n "$display" ] || exit 1
export DISPLAY=:$display

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "${KORVANE_WINE:-wine}" wineboot -i >/dev/null 2>&1
  "${KORVANE_WINESERVER:-wineserver}" -w
fi

if [ "${KORVANE_DRIVE_P:-}" = 1 ]; then
  sh "$here/../setup/drive-letter.sh" "$entry/drive-p" || exit 1
fi

# The test program runs from a folder of its own.
args=("$@")
for i in "${!args[@]}"; do
  case ${args[$i]} in
    /*.exe)
      if [ -f "${args[$i]}" ]; then
        mkdir -p "$entry/bin"
        own=$entry/bin/$(basename "${args[$i]}")
        ln "${args[$i]}" "$own" 2>/dev/null || cp "${args[$i]}" "$own" || exit 1
        args[$i]=$own
        break
      fi ;;
  esac
done

mkdir -p "$entry/work"
cd "$entry/work" || exit 1
"${args[@]}"
exit $?
