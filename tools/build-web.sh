#!/usr/bin/env bash
# Builds the show for the browser into build-web/: libjpeg-turbo, libmpg123 and libzstd from
# Debian's source packages (compiled with emcc, without SIMD or assembly), the show's core as
# WebAssembly, and the page in build-web/site/ (index.html, its scripts and style, the audio
# worklet, the seek index's worker, demo.js and demo.wasm, a favicon, and .br and .gz copies of
# all of them; _.dat and velmorin.mp3 beside them when BUILD_WEB_ASSETS, by default build/show/,
# holds them, and then the poster, a frame of the show rendered by demo-render from BUILD_DIR,
# by default build/).
#
# Installs what it needs first: emscripten, dpkg-dev, brotli and ffmpeg with apt-get (sudo when
# not root), and a deb-src entry for the configured Debian mirror when none is there.
# Environment: JOBS (parallel compile jobs, default: the number of cores); SITE_URL (the address
# the site will be published at, for the absolute Open Graph links; relative without it);
# POSTER_FRAME (the video frame shown as the poster, default 6500, in the second scene).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)
out="$root/build-web"
jobs="${JOBS:-$(nproc)}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
# shellcheck source=tools/debian-source.sh
. tools/debian-source.sh

# Debian's emscripten 3.1.6 needs its own acorn from /usr/share/nodejs, and node's fetch
# switched off to run generated code.
export NODE_PATH=/usr/share/nodejs
export NODE_OPTIONS=--no-experimental-fetch

install_tools() {
    local missing=()
    command -v emcc >/dev/null || missing+=(emscripten)
    command -v dpkg-source >/dev/null || missing+=(dpkg-dev)
    command -v node >/dev/null || missing+=(nodejs)
    command -v brotli >/dev/null || missing+=(brotli)
    command -v ffmpeg >/dev/null || missing+=(ffmpeg)
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    "${sudo[@]}" apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        "${missing[@]}"
}

# libjpeg-turbo's static library and headers in build-web/jpeg/.
build_jpeg() {
    [ -f "$out/jpeg/lib/libjpeg.a" ] && return 0
    mkdir -p "$out/src"
    local source
    source=$(find "$out/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
    if [ -z "$source" ]; then
        (cd "$out/src" && apt-get source -qq libjpeg-turbo)
        source=$(find "$out/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
    fi
    [ -n "$source" ] || { echo "libjpeg-turbo source not unpacked" >&2; return 1; }
    emcmake cmake -S "$source" -B "$out/jpeg-build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$out/jpeg" -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/node \
        -DWITH_SIMD=0 -DENABLE_SHARED=0 -DWITH_TURBOJPEG=0 -DWITH_JAVA=0 >/dev/null
    cmake --build "$out/jpeg-build" -j"$jobs" --target jpeg-static >/dev/null
    cmake --install "$out/jpeg-build" >/dev/null 2>&1 || true
    mkdir -p "$out/jpeg/lib" "$out/jpeg/include"
    cp "$out/jpeg-build/libjpeg.a" "$out/jpeg/lib/"
    cp "$out/jpeg-build/jconfig.h" "$source/jpeglib.h" "$source/jmorecfg.h" "$source/jerror.h" \
        "$out/jpeg/include/"
}

# libmpg123's static library and headers in build-web/mpg123/, from the same source and with the
# same options as the program's (tools/build-mpg123.sh): the generic C decoder (floating
# point, no assembly), no -ffast-math (the samples must equal the program's), no output modules.
build_mpg123() {
    [ -f "$out/mpg123/lib/libmpg123.a" ] && return 0
    local source
    source=$(unpack_source mpg123 "$root/build-deps/src")
    rm -rf "$out/mpg123-build" && mkdir -p "$out/mpg123-build"
    (cd "$out/mpg123-build" &&
        emconfigure "$source/configure" "${mpg123_options[@]}" >configure.log 2>&1 &&
        emmake make -j"$jobs" src/libmpg123/libmpg123.la >make.log 2>&1) ||
        { echo "libmpg123 build failed: see $out/mpg123-build/*.log" >&2; return 1; }
    mkdir -p "$out/mpg123/lib" "$out/mpg123/include"
    cp "$out/mpg123-build/src/libmpg123/.libs/libmpg123.a" "$out/mpg123/lib/"
    cp "$out/mpg123-build/src/libmpg123/mpg123.h" "$source/src/libmpg123/fmt123.h" \
        "$out/mpg123/include/"
}

# libzstd's static library and headers in build-web/zstd/: the C files of its lib/ (no assembly,
# no threads), compiled with emcc. When the newest source version cannot be fetched, the
# others apt knows are tried.
build_zstd() {
    [ -f "$out/zstd/lib/libzstd.a" ] && return 0
    mkdir -p "$out/src"
    local source version
    source=$(find "$out/src" -maxdepth 1 -type d -name 'libzstd-*' | head -n 1)
    if [ -z "$source" ]; then
        if ! (cd "$out/src" && apt-get source -qq libzstd); then
            for version in $(apt-cache showsrc libzstd | sed -n 's/^Version: //p'); do
                (cd "$out/src" && apt-get source -qq "libzstd=$version") && break
            done
        fi
        source=$(find "$out/src" -maxdepth 1 -type d -name 'libzstd-*' | head -n 1)
    fi
    [ -n "$source" ] || { echo "libzstd source not unpacked" >&2; return 1; }
    local objects="$out/zstd-build"
    rm -rf "$objects" && mkdir -p "$objects" "$out/zstd/lib" "$out/zstd/include"
    local file pids=() count=0
    for file in "$source"/lib/common/*.c "$source"/lib/compress/*.c "$source"/lib/decompress/*.c; do
        emcc -O2 -DZSTD_DISABLE_ASM -DZSTD_LEGACY_SUPPORT=0 -DXXH_NAMESPACE=ZSTD_ \
            -I"$source/lib" -I"$source/lib/common" -c "$file" \
            -o "$objects/$(basename "$(dirname "$file")")-$(basename "$file" .c).o" &
        pids+=($!)
        count=$((count + 1))
        if [ $((count % jobs)) -eq 0 ]; then
            for pid in "${pids[@]}"; do wait "$pid"; done
            pids=()
        fi
    done
    for pid in "${pids[@]}"; do wait "$pid"; done
    emar rcs "$out/zstd/lib/libzstd.a" "$objects"/*.o
    cp "$source/lib/zstd.h" "$source/lib/zstd_errors.h" "$out/zstd/include/"
}

# The WebAssembly module (demo.js, demo.wasm) and the decode check in build-web/wasm/.
build_module() {
    emcmake cmake -S web -B "$out/wasm" -DCMAKE_BUILD_TYPE=Release -DDEMO_JPEG_DIR="$out/jpeg" \
        -DDEMO_MPG123_DIR="$out/mpg123" -DDEMO_ZSTD_DIR="$out/zstd" \
        -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/node >/dev/null
    cmake --build "$out/wasm" -j"$jobs"
}

# The poster: video frame POSTER_FRAME of the show on PACK, rendered by demo-render, as
# OUT (a JPEG, colour halved across only: the black rows keep theirs).
make_poster() {
    local pack=$1 poster=$2
    local render="${BUILD_DIR:-$root/build}/demo-render"
    local frame="${POSTER_FRAME:-6500}"
    if [ ! -x "$render" ]; then
        echo "build-web: no $render: the page has no poster (build the native program first)"
        return 0
    fi
    local frames
    frames=$(mktemp -d)
    # The ticks just after the frame: the render stops there.
    "$render" --pack "$pack" --end $((71 * (frame + 1) / 31 + 1)) --dump "$frames" --at "$frame" \
        >/dev/null 2>"$frames/log" || { cat "$frames/log" >&2; rm -rf "$frames"; return 1; }
    ffmpeg -loglevel error -y -i "$frames/frame$frame.ppm" -q:v 5 -pix_fmt yuvj422p "$poster" ||
        { rm -rf "$frames"; return 1; }
    rm -rf "$frames"
}

# .br and .gz copies beside the page's files and the module, for servers that send them as
# they are (Content-Encoding).
precompress() {
    local site=$1 file
    for file in "$site"/*.html "$site"/*.js "$site"/*.css "$site"/*.wasm; do
        [ -f "$file" ] || continue
        gzip -9 -n -k -f "$file"
        brotli -q 11 -k -f "$file"
    done
}

# The folder any static web server can serve: the page, the module and, when found, the assets.
assemble_site() {
    local site="$out/site" url="${SITE_URL:-}"
    url="${url%/}"
    if [ -n "$url" ] && ! [[ "$url" =~ ^https?://[A-Za-z0-9._~:/?#@!$\'()*+,\;=%-]+$ ]]; then
        echo "build-web: SITE_URL=$SITE_URL is not an http(s) address" >&2
        return 1
    fi
    rm -rf "$site" # nothing stale: every file of it is made here
    mkdir -p "$site"
    cp web/index.html web/page.js web/controls.js web/page.css web/stream-music.js \
        web/music-worklet.js web/seek-worker.js "$out/wasm/demo.js" "$out/wasm/demo.wasm" "$site/"
    if [ -n "$url" ]; then
        sed -i -e "s|content=\"poster.jpg\"|content=\"$url/poster.jpg\"|" \
            -e "s|<meta property=\"og:type\"|<meta property=\"og:url\" content=\"$url/\">\n&|" \
            "$site/index.html"
    fi
    python3 tools/web-favicon.py "$site/favicon.ico"
    local assets="${BUILD_WEB_ASSETS:-$root/build/show}"
    for file in _.dat velmorin.mp3; do
        if [ -f "$assets/$file" ]; then
            cp "$assets/$file" "$site/"
        else
            echo "build-web: no $assets/$file; the viewer chooses their own in the page"
        fi
    done
    if [ -f "$site/_.dat" ]; then
        make_poster "$site/_.dat" "$site/poster.jpg"
    else
        echo "build-web: no pack, so no poster"
    fi
    # Without a poster the page names none (no request that fails, no preview image).
    [ -f "$site/poster.jpg" ] || sed -i -e '/id="poster"/d' -e '/og:image/d' "$site/index.html"
    precompress "$site"
    echo "build-web: the page is in $site ($(du -sh --apparent-size "$site" | cut -f1) with the assets;" \
        "page and module $(cat "$site"/index.html "$site"/*.js "$site"/*.css "$site"/*.wasm | wc -c) bytes," \
        "$(cat "$site"/index.html.br "$site"/*.js.br "$site"/*.css.br "$site"/*.wasm.br | wc -c) as brotli)"
}

start=$(date +%s)
install_tools
enable_sources
build_jpeg
build_mpg123
build_zstd
build_module
assemble_site
echo "build-web: done in $(($(date +%s) - start)) s"
