#!/usr/bin/env bash
# Builds, makes the benchmark data files (once; kept under the build folder
# in bench-data/), and runs the benchmarks (the start-up checks, the plate
# lookup, the online update) under Wine on a private X display
# in a prefix of their own (bench-run in the build folder), printing their
# figures. Where this machine cannot run 32-bit code they are the x86_64
# build's, under 64-bit Wine (KORVANE_TEST_ARCH=x86 or x64 forces one);
# where it can, the x86_64 build's plate lookup follows the 32-bit one on
# the same file, for comparison; the update's apply is also run by the
# engine alone, natively without Wine; last the real program is driven
# through its window at full size (bench_program). A benchmark that fails
# or overruns its time is named and the next one still runs; the script
# then exits 1.
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
#   KORVANE_BENCH_TIMEOUT   seconds a benchmark program may run (default 1800)
#   KORVANE_BENCH_ONLY      the one benchmark to run, by program name (for
#                           example bench_update, which brings the native
#                           update_native with it); default every one
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

# bench NAME PROGRAM ARGS...: runs one benchmark program of this build under
# Wine, at most KORVANE_BENCH_TIMEOUT seconds (default 1800); a program that
# fails or does not end is named, and the next one still runs.
timeout_s=${KORVANE_BENCH_TIMEOUT:-1800}
failed=()
bench() {
  local name=$1 status=0
  shift
  echo
  timeout -k 10 "$timeout_s" "$KORVANE_WINE" "$@" || status=$?
  if [ "$status" -ne 0 ]; then
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
      echo "bench: $name did not end within $timeout_s s"
    else
      echo "bench: $name failed (exit status $status)"
    fi
    failed+=("$name")
    # A program killed by the time limit may leave Wine's processes behind.
    "$KORVANE_WINESERVER" -k >/dev/null 2>&1 || true
  fi
}

# settle_disk: before a benchmark that times the disk's syncs (the search's
# diary commit), the dirty pages that earlier steps (or other programs on
# this machine) left are written out first: a sync, then a wait (at most
# 120 s) until the system has at most 64 MB dirty or under writeback. The
# benchmark itself reports the disk's own sync time beside its figures.
settle_disk() {
  local start=$SECONDS pending
  sync
  while :; do
    pending=$(awk '/^(Dirty|Writeback):/ { kb += $2 } END { print int(kb / 1024) }' /proc/meminfo)
    [ "$pending" -le 64 ] && break
    [ $((SECONDS - start)) -ge 120 ] && break
    sleep 1
  done
  echo "bench: the disk settled for $((SECONDS - start)) s (dirty or under writeback now: $pending MB)"
}

# A benchmark of the x86_64 build beside the shipped 32-bit one, in the
# same run on the same file, under 64-bit Wine in a prefix of its own:
# compare_x64 NAME ARGS... (the arguments as for the 32-bit program).
compare_x64() (
  local name=$1 x64=$KORVANE_BUILD/x64
  shift
  [ -f "$x64/bin/$name.exe" ] || { echo "bench: no x86_64 build to compare with"; exit 0; }
  KORVANE_WINE=/usr/lib/wine/wine64
  export WINEARCH=win64
  korvane_wine_prefix "$x64/bench-run"
  echo
  echo "bench: the same $name on the x86_64 build, under 64-bit Wine, for comparison"
  settle_disk
  status=0
  timeout -k 10 "$timeout_s" "$KORVANE_WINE" "$x64/bin/$name.exe" "$@" || status=$?
  "$KORVANE_WINESERVER" -k >/dev/null 2>&1 || true
  exit $status
)

# wanted NAME: true when NAME is to run (KORVANE_BENCH_ONLY).
wanted() { [ -z "${KORVANE_BENCH_ONLY:-}" ] || [ "$KORVANE_BENCH_ONLY" = "$1" ]; }

if wanted bench_startup; then
  # The start-up checks meet the data file first as a fresh start of the PC
  # would: out of the system's cache. (Only then: a benchmark run by itself
  # meets the file as the one before it left it.)
  python3 -c 'import os, sys
fd = os.open(sys.argv[1], os.O_RDONLY)
os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
os.close(fd)' "$file"
  bench bench_startup "$bin/bench_startup.exe" "$(winpath "$file")" "$(winpath "$data/work")" "$diary"
fi
if wanted bench_search; then
  settle_disk
  bench bench_search "$bin/bench_search.exe" "$(winpath "$file")" "$lookups" "$seed" "$(winpath "$data/work")"
  if [ "$KORVANE_ARCH" = x86 ]; then
    compare_x64 bench_search "$(winpath "$file")" "$lookups" "$seed" "$(winpath "$data/work")" ||
      { echo "bench: bench_search of the x86_64 build failed"; failed+=("bench_search (x86_64)"); }
  fi
fi
if wanted bench_update; then
  settle_disk
  bench bench_update "$bin/bench_update.exe" "$(winpath "$file")" "$(winpath "$data/work")" "$rows" "$seed"
  if [ "$KORVANE_ARCH" = x86 ]; then
    compare_x64 bench_update "$(winpath "$file")" "$(winpath "$data/work")" "$rows" "$seed" ||
      { echo "bench: bench_update of the x86_64 build failed"; failed+=("bench_update (x86_64)"); }
  fi
fi
# native_update: the update's apply by the engine alone, built for this
# machine from the programs' own engine source and run without Wine on the
# same file, so the programs' figures can be read against what the engine
# and the disk cost by themselves. Left out, with a line, where this
# machine has no compiler of its own.
native_update() {
  local out=$KORVANE_BUILD/native sqlite
  if ! command -v gcc >/dev/null || ! command -v g++ >/dev/null; then
    echo "bench: no native compiler here; the engine-alone figures are left out"
    return 0
  fi
  sqlite=$(sed -n 's/^set(KORVANE_SQLITE_DIR "\(.*\)" CACHE.*/\1/p' "$KORVANE_ARCH_BUILD/deps.cmake")
  [ -f "$sqlite/sqlite3.c" ] || { echo "bench: the engine's source is not in the build's dependencies"; return 1; }
  . "$KORVANE_ROOT/scripts/engine-defines.sh"
  mkdir -p "$out"
  if [ ! -f "$out/sqlite3.o" ] || [ "$sqlite/sqlite3.c" -nt "$out/sqlite3.o" ] ||
     [ "$KORVANE_ROOT/scripts/engine-defines.sh" -nt "$out/sqlite3.o" ]; then
    gcc -O2 "${SQLITE_DEFINES[@]}" -I"$sqlite/include" -c "$sqlite/sqlite3.c" -o "$out/sqlite3.o.part" &&
      mv "$out/sqlite3.o.part" "$out/sqlite3.o" || return 1
  fi
  g++ -O2 -std=c++17 -I"$sqlite/include" "$KORVANE_ROOT/bench/native/update_native_bench.cpp" "$out/sqlite3.o" \
    -lpthread -ldl -lm -o "$out/update_native_bench" || return 1
  echo
  settle_disk
  timeout -k 10 "$timeout_s" "$out/update_native_bench" "$file" "$data/work" "$rows" "$seed"
}

if wanted bench_update || wanted update_native; then
  native_update || { echo "bench: the engine-alone update failed"; failed+=("update_native"); }
fi
if wanted bench_books; then
  bench bench_books "$bin/bench_books.exe" "$(winpath "$data/work")" "${KORVANE_BENCH_REMARKS:-100000}"
fi
if wanted bench_listlocation; then
  bench bench_listlocation "$bin/bench_listlocation.exe" "$(winpath "$data/work")" \
    "${KORVANE_BENCH_LOCATIONS:-1000000}"
fi
if wanted bench_imports; then
  bench bench_imports "$bin/bench_imports.exe" "$(winpath "$data")" "${KORVANE_BENCH_OWN_DIARY:-1000000}" \
    "${KORVANE_BENCH_IMPORT_DIARY:-100000}" "${KORVANE_BENCH_REMARKS:-100000}"
fi
if wanted bench_diaryjobs; then
  bench bench_diaryjobs "$bin/bench_diaryjobs.exe" "$(winpath "$file")" "$(winpath "$data/work")" \
    "${KORVANE_BENCH_DIARYJOBS:-1000000}" "$seed"
fi
if wanted bench_diary; then
  bench bench_diary "$bin/bench_diary.exe" "$(winpath "$data")" "${KORVANE_BENCH_DIARY_ROWS:-1000000}"
fi
# The real program, driven through its window at full size: searches, the
# online update, Update Diary, CleanUp and Import Diary in one run.
if wanted bench_program; then
  program=$KORVANE_ARCH_BUILD/bin/Korvane.exe
  [ "$KORVANE_ARCH" = x86 ] && program=$KORVANE_BUILD/pendrive/Korvane.exe  # the shipped, stripped copy
  # The arguments after the program: the same for both builds.
  sizes=("$(winpath "$file")" "$(winpath "$data/work")" "${KORVANE_BENCH_DIARYJOBS:-1000000}" 3000 "$rows"
         "${KORVANE_BENCH_IMPORT_DIARY:-100000}" "$seed")
  bench bench_program "$bin/bench_program.exe" "$(winpath "$program")" "${sizes[@]}"
  if [ "$KORVANE_ARCH" = x86 ]; then
    compare_x64 bench_program "$(winpath "$KORVANE_BUILD/x64/bin/Korvane.exe")" "${sizes[@]}" ||
      { echo "bench: bench_program of the x86_64 build failed"; failed+=("bench_program (x86_64)"); }
  fi
fi
echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "bench: ${#failed[@]} benchmark(s) failed: ${failed[*]}"
  exit 1
fi
echo "bench: every benchmark ran to the end"
