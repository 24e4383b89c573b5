#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need: the i686 and
# x86_64 mingw cross compilers, 64-bit Wine, Xvfb, the source-package
# tooling and the libraries the dependency builds take their sources from.
#
# usage: install-packages.sh [x86|x64]
#   x86  the tests run on the 32-bit build: 32-bit Wine (wine32, with the
#        i386 architecture) is installed too
#   x64  the tests run on the x86_64 build under 64-bit Wine only; nothing
#        of the i386 architecture is needed
#
# Idempotent: does nothing (and needs no network) when all is in place.
set -euo pipefail

arch=${1:-x86}
case $arch in x86|x64) ;; *) echo "install-packages: unknown architecture '$arch' (x86 or x64)" >&2; exit 2 ;; esac

PACKAGES=(
  build-essential cmake ninja-build pkg-config dpkg-dev tcl
  g++-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
  libz-mingw-w64-dev
  wine wine64 xvfb x11-utils imagemagick iproute2
  rapidjson-dev googletest
  python3
)
need_i386=0
if [ "$arch" = x86 ]; then
  PACKAGES+=(wine32)
  need_i386=1
fi

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-packages: run as root (or install these by hand: ${PACKAGES[*]})" >&2
    exit 1
  fi
}

missing=()
for p in "${PACKAGES[@]}"; do
  # wine32 is an i386 package; dpkg-query takes the bare name for it too.
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

has_src=0
if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null; then
  has_src=1
fi

has_i386=1
if [ $need_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  has_i386=0
fi

if [ ${#missing[@]} -eq 0 ] && [ $has_src -eq 1 ] && [ $has_i386 -eq 1 ]; then
  exit 0
fi
need_root

changed=0
if [ $has_i386 -eq 0 ]; then
  echo "install-packages: adding the i386 architecture"
  dpkg --add-architecture i386
  changed=1
fi

if [ $has_src -eq 0 ]; then
  echo "install-packages: enabling deb-src entries"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -i -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb deb-src/' "$f"
  done
  if [ -f /etc/apt/sources.list ]; then
    # Add a deb-src twin after every active deb line that has none.
    awk '{print} /^deb[[:space:]]/ {src=$0; sub(/^deb/, "deb-src", src); print src}' \
      /etc/apt/sources.list > /etc/apt/sources.list.new
    mv /etc/apt/sources.list.new /etc/apt/sources.list
  fi
  changed=1
fi

export DEBIAN_FRONTEND=noninteractive
if [ $changed -eq 1 ] || [ ${#missing[@]} -gt 0 ]; then
  apt-get update -q
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-packages: installing ${missing[*]}"
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
