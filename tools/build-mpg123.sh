#!/usr/bin/env bash
# Builds libmpg123, the soundtrack's decoder, from Debian's source package into
# build-deps/mpg123/ (lib/libmpg123.a, include/mpg123.h and fmt123.h), configured as the web
# page's copy is (tools/debian-source.sh): the program then decodes the same samples on every
# machine, and the same as the page. The build links it from there (the CMake cache variable
# DEMO_MPG123_DIR); without it, it falls back to the system's libmpg123.
#
# Does nothing when the library is there, built with the same options. Installs dpkg-dev and a
# compiler with apt-get (sudo when not root) when missing, and a deb-src entry for the
# configured Debian mirror when none is there. The source is kept in build-deps/src/.
# Environment: JOBS (parallel compile jobs, default: the number of cores).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)
deps="$root/build-deps"
prefix="$deps/mpg123"
jobs="${JOBS:-$(nproc)}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
# shellcheck source=tools/debian-source.sh
. tools/debian-source.sh

stamp="$prefix/configured-with"
if [ -f "$prefix/lib/libmpg123.a" ] && [ -f "$stamp" ] &&
    [ "$(cat "$stamp")" = "${mpg123_options[*]}" ]; then
    exit 0
fi

missing=()
command -v dpkg-source >/dev/null || missing+=(dpkg-dev)
command -v cc >/dev/null && command -v make >/dev/null || missing+=(build-essential)
if [ ${#missing[@]} -ne 0 ]; then
    echo "installing: ${missing[*]}"
    "${sudo[@]}" apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        "${missing[@]}"
fi
enable_sources
source=$(unpack_source mpg123 "$deps/src")

echo "build-mpg123: building $(basename "$source") into $prefix"
build="$deps/mpg123-build"
rm -rf "$build" "$prefix" && mkdir -p "$build"
# Only the options above reach the compiler, whatever the environment holds.
(cd "$build" &&
    env -u CFLAGS -u CPPFLAGS -u LDFLAGS "$source/configure" "${mpg123_options[@]}" \
        >configure.log 2>&1 &&
    make -j"$jobs" src/libmpg123/libmpg123.la >make.log 2>&1) ||
    { echo "build-mpg123: the build failed: see $build/*.log" >&2; exit 1; }
mkdir -p "$prefix/lib" "$prefix/include"
cp "$build/src/libmpg123/.libs/libmpg123.a" "$prefix/lib/"
cp "$build/src/libmpg123/mpg123.h" "$source/src/libmpg123/fmt123.h" "$prefix/include/"
echo "${mpg123_options[*]}" >"$stamp"
echo "build-mpg123: done"
