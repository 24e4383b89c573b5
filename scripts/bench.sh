#!/usr/bin/env bash
# Builds, makes the benchmark data files (once; kept under the build folder
# in bench-data/), and runs the benchmarks (the start-up checks, the plate
# lookup, the online update) under Wine on a private X display
# in a prefix of their own (bench-run in the build folder), printing their
# figures. Where this machine cannot run 32-bit code they are the x86_64
# build's, under 64-bit Wine (KORVANE_TEST_ARCH=x86 or x64 forces one).
#
#   KORVANE_BENCH_VEHICLES  rows of the data file        (default 3000000)
#   KORVANE_BENCH_LOOKUPS   plate lookups timed           (default 20000)
#   KORVANE_BENCH_ROWS      rows of the update's reply    (default 100000)
#   KORVANE_BENCH_DIARY     rows of the used diary whose start-up check is
#                           timed                         (default 20000)
#   KORVANE_BENCH_REMARKS   rows of the remark book, and of the imported
#                           remark book                   (default 100000)
#   KORVANE_BENCH_LOCATIONS rows of the diary that List Location lists
#                           (default 1000000)
#   KORVANE_BENCH_OWN_DIARY rows of the own diary an import goes into
#                           (default 1000000; made once)
#   KORVANE_BENCH_IMPORT_DIARY rows of the imported diary  (default 100000)
#   KORVANE_BENCH_DIARYJOBS rows of the diary that CleanUp and Update Diary
#                           rebuild                       (default 1000000)
#   KORVANE_BENCH_DIARY_ROWS rows of the Diary window's diary (default 1000000)
set -euo pipefail
. "$(dirname "$0")/common.sh"
korvane_say_arch bench

vehicles=${KORVANE_BENCH_VEHICLES:-3000000}
lookups=${KORVANE_BENCH_LOOKUPS:-20000}
rows=${KORVANE_BENCH_ROWS:-100000}
diary=${KORVANE_BENCH_DIARY:-20000}
seed=1

bash "$KORVANE_ROOT/scripts/build.sh" >/dev/null

bin=$KORVANE_ARCH_BUILD/bin
data=$KORVANE_BUILD/bench-data
run=$KORVANE_ARCH_BUILD/bench-run
mkdir -p "$data/work"
cleanup() {
  korvane_stop_wine
  korvane_stop_xvfb
}
trap cleanup EXIT
korvane_start_xvfb 1280x1024x24
korvane_wine_prefix "$run"

# Host paths as Wine sees them, on drive Z.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

file=$data/data-$vehicles-$seed.db
if [ ! -f "$file" ]; then
  echo "bench: making $file ($vehicles vehicles; once)"
  start=$(date +%s)
  "$KORVANE_WINE" "$bin/KorvaneDataTool.exe" make-data "$(winpath "$file.part")" "$vehicles" "$seed"
  mv "$file.part" "$file"
  echo "bench: made in $(( $(date +%s) - start )) s, $(du -h "$file" | cut -f1)"
fi

# The start-up checks meet the data file first as a fresh start of the PC
# would: out of the system's cache.
python3 -c 'import os, sys
fd = os.open(sys.argv[1], os.O_RDONLY)
os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
os.close(fd)' "$file"
echo
"$KORVANE_WINE" "$bin/bench_startup.exe" "$(winpath "$file")" "$(winpath "$data/work")" "$diary"
echo
"$KORVANE_WINE" "$bin/bench_search.exe" "$(winpath "$file")" "$lookups" "$seed" "$(winpath "$data/work")"
echo
"$KORVANE_WINE" "$bin/bench_update.exe" "$(winpath "$file")" "$(winpath "$data/work")" "$rows" "$seed"
echo
"$KORVANE_WINE" "$bin/bench_books.exe" "$(winpath "$data/work")" "${KORVANE_BENCH_REMARKS:-100000}"
echo
"$KORVANE_WINE" "$bin/bench_listlocation.exe" "$(winpath "$data/work")" "${KORVANE_BENCH_LOCATIONS:-1000000}"
echo
"$KORVANE_WINE" "$bin/bench_imports.exe" "$(winpath "$data")" "${KORVANE_BENCH_OWN_DIARY:-1000000}" \
  "${KORVANE_BENCH_IMPORT_DIARY:-100000}" "${KORVANE_BENCH_REMARKS:-100000}"
echo
"$KORVANE_WINE" "$bin/bench_diaryjobs.exe" "$(winpath "$file")" "$(winpath "$data/work")" \
  "${KORVANE_BENCH_DIARYJOBS:-1000000}" "$seed"
echo
"$KORVANE_WINE" "$bin/bench_diary.exe" "$(winpath "$data")" "${KORVANE_BENCH_DIARY_ROWS:-1000000}"
