#!/bin/sh
# usage: drive-letter.sh FOLDER
# Makes FOLDER drive P: of the Wine prefix: the pen drive the setup tests
# start KorvaneSetup.exe from.
set -eu
prefix=${WINEPREFIX:-$HOME/.wine}
mkdir -p "$1"
ln -sfn "$1" "$prefix/dosdevices/p:"
