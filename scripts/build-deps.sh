#!/usr/bin/env bash
# Builds the program's dependencies for one mingw target (i686 for the
# shipped programs, x86_64 for the tests where 32-bit code cannot run) from
# Debian's sources and keeps them in a cache outside the repository, one
# folder per architecture:
#
#   sqlite  Debian's sqlite3 source package, made into the amalgamation and
#           patched into the program's engine (scripts/patch-sqlite.py);
#           a static library and the engine's shell, KorvaneSql.exe
#   curl    Debian's curl source package, static, HTTP and HTTPS only,
#           Schannel TLS, zlib from libz-mingw-w64-dev
#   gtest   Debian's googletest sources, static
#
# Each lands in a folder named by its source version and a hash of what
# shapes the build (its options, the patch, the toolchain files), so a second
# run costs nothing and a change of any of them builds afresh.
#
# usage: build-deps.sh ARCH OUTFILE   ARCH is i686 or x86_64; writes a CMake
#                                     file with the three paths
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
usage="usage: build-deps.sh i686|x86_64 OUTFILE"
arch=${1:?$usage}
out=${2:?$usage}
case $arch in i686|x86_64) ;; *) echo "$usage" >&2; exit 2 ;; esac
top=${KORVANE_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/korvane-deps}
# Sources are shared; builds live in one folder per architecture.
cache=$top/$arch
mkdir -p "$cache" "$top/src"
jobs=$(nproc)
toolchain=$root/cmake/toolchain-$arch-mingw.cmake
# The recipe of every build below includes both toolchain files.
recipe_files=("$toolchain" "$root/cmake/mingw-common.cmake")
mingw=$arch-w64-mingw32

srcversion() { apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ {print $2; exit}'; }

# Fetches a Debian source package into $top/src/NAME-VERSION (unpacked and
# with Debian's own patches applied) and echoes the folder.
# Both architectures' builds may run at once: a lock per package keeps them
# from unpacking the same source together.
fetch_source() {
  local name=$1 version=$2 dir=$top/src/$1-$2
  exec {lock}>"$top/src/.$name.lock"
  flock "$lock"
  if [ ! -f "$dir/.complete" ]; then
    rm -rf "$dir" "$dir.tmp"
    mkdir -p "$dir.tmp"
    (cd "$dir.tmp" && apt-get source -q "$name=$version" >/dev/null 2>&1) ||
      { echo "build-deps: apt-get source $name=$version failed (are deb-src entries enabled?)" >&2; exit 1; }
    local unpacked
    unpacked=$(find "$dir.tmp" -mindepth 1 -maxdepth 1 -type d | head -n1)
    [ -n "$unpacked" ] || { echo "build-deps: $name source did not unpack" >&2; exit 1; }
    mv "$unpacked" "$dir"
    rm -rf "$dir.tmp"
    touch "$dir/.complete"
  fi
  exec {lock}>&-
  echo "$dir"
}

# ---- SQLite ---------------------------------------------------------------
. "$here/engine-defines.sh"
sqlite_version=$(srcversion sqlite3)
[ -n "$sqlite_version" ] || { echo "build-deps: no sqlite3 source package known to apt" >&2; exit 1; }
sqlite_key=$(printf '%s\n' "${SQLITE_DEFINES[@]}" | cat - "$here/patch-sqlite.py" "${recipe_files[@]}" | sha256sum | cut -c1-12)
sqlite_dir=$cache/sqlite-$sqlite_version-$sqlite_key
if [ ! -f "$sqlite_dir/.complete" ]; then
  echo "build-deps: building the database engine from sqlite3 $sqlite_version for $arch mingw"
  src=$(fetch_source sqlite3 "$sqlite_version")
  rm -rf "$sqlite_dir"
  work=$sqlite_dir/work
  mkdir -p "$work" "$sqlite_dir/include" "$sqlite_dir/lib" "$sqlite_dir/bin"
  (cd "$work" && "$src/configure" --disable-tcl >/dev/null &&
     make -j"$jobs" sqlite3.c shell.c >/dev/null)
  python3 "$here/patch-sqlite.py" amalgamation "$work/sqlite3.c" "$sqlite_dir/sqlite3.c"
  python3 "$here/patch-sqlite.py" shell "$work/shell.c" "$sqlite_dir/shell.c"
  cp "$work/sqlite3.h" "$sqlite_dir/include/"
  cc=$mingw-gcc-posix
  # The engine and the shell compile side by side; the shell links last.
  $cc -O2 "${SQLITE_DEFINES[@]}" -I"$sqlite_dir/include" -c "$sqlite_dir/shell.c" -o "$work/shell.o" &
  shell_pid=$!
  $cc -O2 "${SQLITE_DEFINES[@]}" -I"$sqlite_dir/include" -c "$sqlite_dir/sqlite3.c" -o "$work/sqlite3.o"
  wait "$shell_pid"
  $mingw-ar rcs "$sqlite_dir/lib/libkorvanesqlite.a" "$work/sqlite3.o"
  $cc -O2 "$work/shell.o" "$sqlite_dir/lib/libkorvanesqlite.a" -static -o "$sqlite_dir/bin/KorvaneSql.exe"
  rm -rf "$work"
  touch "$sqlite_dir/.complete"
fi

# ---- libcurl --------------------------------------------------------------
curl_version=$(srcversion curl)
[ -n "$curl_version" ] || { echo "build-deps: no curl source package known to apt" >&2; exit 1; }
CURL_ARGS=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF
  -DENABLE_MANUAL=OFF -DHTTP_ONLY=ON
  -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=ON
  -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF
  -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF -DENABLE_UNIX_SOCKETS=OFF
  -DCURL_DISABLE_LDAP=ON -DCURL_CA_PATH=none -DCURL_CA_BUNDLE=none
)
curl_key=$(printf '%s\n' "${CURL_ARGS[@]}" | cat - "${recipe_files[@]}" | sha256sum | cut -c1-12)
curl_dir=$cache/curl-$curl_version-$curl_key
if [ ! -f "$curl_dir/.complete" ]; then
  echo "build-deps: building libcurl $curl_version for $arch mingw"
  src=$(fetch_source curl "$curl_version")
  rm -rf "$curl_dir"
  cmake -S "$src" -B "$curl_dir/work" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$curl_dir" \
    "${CURL_ARGS[@]}" >"$cache/curl-configure.log" 2>&1 ||
    { tail -n 30 "$cache/curl-configure.log" >&2; exit 1; }
  cmake --build "$curl_dir/work" -j"$jobs" >"$cache/curl-build.log" 2>&1 ||
    { tail -n 30 "$cache/curl-build.log" >&2; exit 1; }
  cmake --install "$curl_dir/work" >/dev/null
  rm -rf "$curl_dir/work"
  touch "$curl_dir/.complete"
fi

# ---- GoogleTest -----------------------------------------------------------
gtest_src=/usr/src/googletest
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
GTEST_ARGS=(-DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=ON)
gtest_key=$(printf '%s\n' "${GTEST_ARGS[@]}" | cat - "${recipe_files[@]}" | sha256sum | cut -c1-12)
gtest_dir=$cache/gtest-$gtest_version-$gtest_key
if [ ! -f "$gtest_dir/.complete" ]; then
  echo "build-deps: building GoogleTest $gtest_version for $arch mingw"
  rm -rf "$gtest_dir"
  cmake -S "$gtest_src" -B "$gtest_dir/work" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$gtest_dir" \
    "${GTEST_ARGS[@]}" >"$cache/gtest-configure.log" 2>&1 ||
    { tail -n 30 "$cache/gtest-configure.log" >&2; exit 1; }
  cmake --build "$gtest_dir/work" -j"$jobs" >"$cache/gtest-build.log" 2>&1 ||
    { tail -n 30 "$cache/gtest-build.log" >&2; exit 1; }
  cmake --install "$gtest_dir/work" >/dev/null
  rm -rf "$gtest_dir/work"
  touch "$gtest_dir/.complete"
fi

# Drop this architecture's builds of older versions or recipes (the current
# three stay), and the builds of the older layout, which had no folder per
# architecture. A build still in progress (no .complete yet) belongs to
# another checkout's run and is left alone.
for old in "$cache"/sqlite-* "$cache"/curl-* "$cache"/gtest-* \
           "$top"/sqlite-* "$top"/curl-* "$top"/gtest-*; do
  [ -f "$old/.complete" ] || continue
  case "$old" in "$sqlite_dir"|"$curl_dir"|"$gtest_dir") ;; *) rm -rf "$old" ;; esac
done

mkdir -p "$(dirname "$out")"
cat >"$out.tmp" <<EOF
# Written by scripts/build-deps.sh; do not edit.
set(KORVANE_SQLITE_DIR "$sqlite_dir" CACHE PATH "" FORCE)
set(KORVANE_CURL_DIR "$curl_dir" CACHE PATH "" FORCE)
set(KORVANE_GTEST_DIR "$gtest_dir" CACHE PATH "" FORCE)
EOF
mv "$out.tmp" "$out"
