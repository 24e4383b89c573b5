# Shared by build.sh, test.sh, run.sh and bench.sh: the folders, the choice
# of the build the tests run on, the Wine settings and the start and stop of
# a private X display. Source it; do not run it.

KORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The 32-bit build: the shipped programs and the pen drive.
KORVANE_BUILD=${KORVANE_BUILD:-$KORVANE_ROOT/build}

# korvane_runs_ia32: true when this machine starts 32-bit x86 programs.
# Some virtual machines refuse every 32-bit program ("Exec format error")
# even where the kernel was built with IA-32 emulation. The probe is a
# 96-byte static 32-bit ELF program that only exits with status 42: it
# needs no 32-bit library, so it asks the machine alone.
korvane_runs_ia32() {
  local probe status=0
  probe=$(mktemp "${TMPDIR:-/tmp}/korvane-ia32.XXXXXX") || return 1
  local elf='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  elf+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
  elf+='\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'
  elf+='\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'
  elf+='\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00'
  # mov eax, 1; mov ebx, 42; int 0x80: exit(42)
  elf+='\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80'
  printf "$elf" >"$probe"
  chmod +x "$probe"
  "$probe" >/dev/null 2>&1 || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

# The build the tests, the run and the benchmarks use: x86 (the 32-bit
# build, under 32-bit Wine) where this machine runs 32-bit code, else x64
# (an x86_64 build of the same sources in build/x64, under 64-bit Wine).
# KORVANE_TEST_ARCH=x86 or x64 forces one.
korvane_choose_arch() {
  # A script called by another takes its caller's choice: one probe a run.
  if [ -n "${KORVANE_ARCH_DECIDED:-}" ] && [ "${KORVANE_ARCH_DECIDED}" = "${KORVANE_TEST_ARCH:-auto}" ]; then
    return 0
  fi
  case ${KORVANE_TEST_ARCH:-} in
    x86|x64)
      KORVANE_ARCH=$KORVANE_TEST_ARCH
      KORVANE_ARCH_REASON="forced by KORVANE_TEST_ARCH" ;;
    '')
      if korvane_runs_ia32; then
        KORVANE_ARCH=x86
        KORVANE_ARCH_REASON="this machine runs 32-bit code"
      else
        KORVANE_ARCH=x64
        KORVANE_ARCH_REASON="this machine cannot run 32-bit code"
      fi ;;
    *)
      echo "KORVANE_TEST_ARCH must be x86 or x64, not '$KORVANE_TEST_ARCH'" >&2
      return 2 ;;
  esac
  if [ "$KORVANE_ARCH" = x86 ]; then
    KORVANE_ARCH_BUILD=$KORVANE_BUILD
    KORVANE_WINE=wine
    export WINEARCH=win32
  else
    KORVANE_ARCH_BUILD=$KORVANE_BUILD/x64
    # The /usr/bin/wine wrapper takes the 32-bit loader whenever wine32 is
    # installed, even where it cannot start: name the 64-bit one.
    KORVANE_WINE=/usr/lib/wine/wine64
    export WINEARCH=win64
  fi
  KORVANE_WINESERVER=wineserver
  KORVANE_ARCH_DECIDED=${KORVANE_TEST_ARCH:-auto}
  export KORVANE_ARCH KORVANE_ARCH_REASON KORVANE_ARCH_BUILD KORVANE_WINE KORVANE_WINESERVER
  export KORVANE_ARCH_DECIDED WINEARCH
}

# korvane_say_arch SCRIPT: the one line that tells which build runs.
korvane_say_arch() {
  if [ "$KORVANE_ARCH" = x86 ]; then
    echo "$1: architecture x86: the 32-bit build under 32-bit Wine ($KORVANE_ARCH_REASON)"
  else
    echo "$1: architecture x64: the x86_64 build under 64-bit Wine ($KORVANE_ARCH_REASON); the shipped programs stay 32-bit"
  fi
}

korvane_choose_arch || exit $?

# Wine: no Mono or Gecko installers, no debug chatter, English with the
# ANSI code page 1252.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=${WINEDEBUG:--all}
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
# when missing. Exports WINEPREFIX and HOME. A prefix of the other
# architecture is made anew.
korvane_wine_prefix() {
  local dir=$1
  mkdir -p "$dir/home"
  export HOME=$dir/home
  export WINEPREFIX=$dir/prefix
  if [ -f "$WINEPREFIX/system.reg" ] && ! grep -q "^#arch=$WINEARCH\$" "$WINEPREFIX/system.reg"; then
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$KORVANE_WINE" wineboot -i >/dev/null 2>&1
    "$KORVANE_WINESERVER" -w
  fi
}

korvane_stop_wine() {
  if [ -n "${WINEPREFIX:-}" ]; then
    "$KORVANE_WINESERVER" -k >/dev/null 2>&1 || true
  fi
}
