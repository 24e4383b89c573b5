#!/bin/sh
# usage: with-full-disk.sh NAME COMMAND...
# Runs COMMAND while the temporary file of a new desktop copy of NAME
# ("NAME.new" on the desktop of the prefix's user) can only be written on a
# full disk: it is a link to /dev/full, whose writes fail with "no space".
# Exports KORVANE_FULL_DISK=NAME for the test.
set -u
name=$1
shift
prefix=${WINEPREFIX:-$HOME/.wine}
desktop="$prefix/drive_c/users/${USER:-$(id -un)}/Desktop"
if [ ! -d "$desktop" ]; then
  for candidate in "$prefix"/drive_c/users/*/Desktop; do
    case $candidate in */Public/Desktop) continue ;; esac
    desktop=$candidate
  done
fi
link="$desktop/$name.new"
ln -sfn /dev/full "$link" || exit 1
KORVANE_FULL_DISK=$name
export KORVANE_FULL_DISK
"$@"
status=$?
rm -f "$link"
exit $status
