# shellcheck shell=bash
# Shell functions for the build scripts that compile libraries from Debian's source packages
# (sourced, not run). The caller sets the array `sudo` (empty when root, (sudo) otherwise).
# shellcheck disable=SC2154

# Adds deb-src twins of the configured deb entries when apt knows no source packages.
enable_sources() {
    apt-get source --print-uris libjpeg-turbo >/dev/null 2>&1 && return 0
    local list=/etc/apt/sources.list.d
    echo "adding deb-src entries for the configured mirror"
    if [ -f "$list/debian.sources" ]; then
        sed 's/^Types: *deb$/Types: deb-src/' "$list/debian.sources" |
            "${sudo[@]}" tee "$list/demo-deb-src.sources" >/dev/null
    fi
    if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
            "${sudo[@]}" tee "$list/demo-deb-src.list" >/dev/null
    fi
    "${sudo[@]}" apt-get update
}

# unpack_source NAME DIR: unpacks Debian's source package NAME into DIR (once) and prints its
# folder. A mirror that lacks the upstream tarball's signature file makes apt-get source stop
# after the download; the package is then unpacked from the checksummed files it fetched.
unpack_source() {
    local name="$1" dir="$2" source
    mkdir -p "$dir"
    source=$(find "$dir" -maxdepth 1 -type d -name "$name-*" | head -n 1)
    if [ -z "$source" ]; then
        if ! (cd "$dir" && apt-get source -qq "$name" >&2); then
            (cd "$dir" &&
                dpkg-source -x --no-check "$(find . -maxdepth 1 -name "${name}_*.dsc" | head -n 1)" >&2)
        fi
        source=$(find "$dir" -maxdepth 1 -type d -name "$name-*" | head -n 1)
    fi
    [ -n "$source" ] || { echo "$name source not unpacked" >&2; return 1; }
    echo "$source"
}

# How libmpg123 is configured for both the program (tools/build-mpg123.sh) and the web page
# (tools/build-web.sh), so that the two decode every soundtrack to the same samples: only the
# generic floating-point C decoder (no assembly, no choice by processor at run time), the
# compiler's evaluation as written (no -ffast-math, no fused multiply-adds), a static library
# without output modules.
# shellcheck disable=SC2034
mpg123_options=(--with-cpu=generic_fpu --with-optimization=0 "CFLAGS=-O2 -ffp-contract=off"
    --disable-shared --enable-static --disable-modules --with-audio=dummy
    --with-default-audio=dummy)
