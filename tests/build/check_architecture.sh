#!/usr/bin/env bash
# The programs of a build are of the architecture its tests claim to run on.
# usage: check_architecture.sh x86|x64 PROGRAM.exe...
set -u
arch=$1
shift
case $arch in
  x86) format='pei-i386'; words='the 32-bit build (PE32, i386)' ;;
  x64) format='pei-x86-64'; words='the x86_64 build (PE32+, x86-64)' ;;
  *) echo "check_architecture: unknown architecture '$arch'"; exit 2 ;;
esac
status=0
for exe in "$@"; do
  if ! objdump=$(x86_64-w64-mingw32-objdump -f "$exe" 2>&1); then
    echo "$(basename "$exe"): not readable: $objdump"
    status=1
  elif ! grep -q "file format $format\$" <<<"$objdump"; then
    echo "$(basename "$exe"): $(sed -n 's/.*file format //p' <<<"$objdump"), not $format"
    status=1
  fi
done
[ $status -eq 0 ] && echo "tests run on $words: $# programs checked"
exit $status
