#!/usr/bin/env bash
# usage: check-shards.sh WINE PROGRAM.exe FILTER...
#
# The shards of a test program, one --gtest_filter pattern each (the last is
# usually the rest: "-" and every other pattern), cover its tests exactly:
# every test that --gtest_list_tests names falls in one shard and one only,
# and every shard but the last selects at least one test (a pattern that
# selects nothing names a suite or test that is gone). Lists what is wrong
# and fails.
set -uo pipefail
wine=$1 exe=$2
shift 2
[ $# -gt 0 ] || { echo "usage: check-shards.sh WINE PROGRAM.exe FILTER..." >&2; exit 2; }

# The full names (Suite.Test) that the program lists, one a line.
list_tests() {
  local out
  out=$("$wine" "$exe" --gtest_list_tests "$@") || { echo "check-shards: $exe $* failed" >&2; return 1; }
  tr -d '\r' <<<"$out" | awk '
    /^[^ ]/ { suite = $1; next }
    /^  [^ ]/ { print suite $1 }'
}

all=$(list_tests) || exit 1
[ -n "$all" ] || { echo "check-shards: $exe lists no tests" >&2; exit 1; }
status=0
seen=
count=$#
n=0
for filter in "$@"; do
  n=$((n + 1))
  names=$(list_tests --gtest_filter="$filter") || exit 1
  if [ -z "$names" ] && [ "$n" -lt "$count" ]; then
    echo "shard $n ($filter) selects no test"
    status=1
  fi
  echo "shard $n ($filter): $(grep -c . <<<"$names") tests"
  seen+=$names$'\n'
done

while read -r test; do
  times=$(grep -cxF "$test" <<<"$seen")
  if [ "$times" -eq 0 ]; then
    echo "$test is in no shard"
    status=1
  elif [ "$times" -gt 1 ]; then
    echo "$test is in $times shards"
    status=1
  fi
done <<<"$all"

total=$(grep -c . <<<"$all")
[ $status -eq 0 ] && echo "$total tests, each in exactly one of $count shards"
exit $status
