#!/usr/bin/env bash
# The browser build's tests, after the native build in BUILD_DIR (default build/):
#   - the JPEG decoder built with emcc decodes the test JPEGs byte for byte like the native one;
#   - node renders the whole show on the generated pack with the same SHA-256 per frame as
#     demo-render (and on the reference pack with its MD5 list, when ../shared/reference is there);
#   - the page's streaming MP3 decoder (libmpg123 built with emcc) decodes the test soundtrack
#     byte for byte like the program (tests/web/mp3-decode-check, linked as the program is),
#     fed in odd pieces, and after seeks;
#   - headless Chromium loads the page from a 127.0.0.1 server: 300 frames of check mode and a
#     frame mid-show read back from the canvas equal demo-render's, 5 s of playback with the
#     audio context running, 10 s at 60 callbacks a second on the frame slots' grid, the credits
#     after ?end=355. A screenshot mid-show is left in build-web/screenshot.png;
#   - seeking in the page: the seek index built by its worker, seeks landing on demo-render's
#     frames, their time, the renderer's resident memory;
#   - the page with the whole soundtrack on an emulated 25 Mbit/s link (tests/web/
#     page-audio-test.js): the first frame within a second of the click, the soundtrack asked
#     for a piece at a time, the renderer's memory, the clock following the samples, pause,
#     seeks, the loading line, damaged soundtracks;
#   - the page's controls: keys, frame steps, timeline clicks and ?t= land on demo-render's
#     frames, a phone's layout, the poster and favicon (page-controls-test.js);
#   - the site's .br and .gz copies decompress to the files beside them.
# Builds with tools/build-web.sh and installs what is missing (npm, puppeteer-core, chromium);
# any step that cannot run fails the script.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/../.."
root=$(pwd)
build="${1:-${BUILD_DIR:-build}}"
out="$root/build-web"
export NODE_PATH=/usr/share/nodejs
export NODE_OPTIONS=--no-experimental-fetch
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

for tool in demo-render make-assets tests/web/jpeg-decode-check tests/web/mp3-decode-check; do
    [ -x "$build/$tool" ] || { echo "no $build/$tool: build the native program first" >&2; exit 1; }
done

echo "=== web: build"
start=$(date +%s)
# The site around a generated pack (30 s of music), so that it gets its poster as well.
assets="$out/test-assets"
rm -rf "$assets" && mkdir -p "$assets"
"$build/make-assets" --seconds 30 "$assets" >/dev/null
BUILD_WEB_ASSETS="$assets" BUILD_DIR="$build" tools/build-web.sh
echo "web build: $(($(date +%s) - start)) s"

missing=()
command -v npm >/dev/null || missing+=(npm)
command -v chromium >/dev/null || missing+=(chromium)
if [ ${#missing[@]} -ne 0 ]; then
    "${sudo[@]}" apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        "${missing[@]}"
fi
if [ ! -d "$out/npm/node_modules/puppeteer-core" ]; then
    mkdir -p "$out/npm"
    (cd "$out/npm" && echo '{"private": true}' >package.json &&
        npm install --no-audit --no-fund puppeteer-core@24)
fi

echo "=== web: JPEG decode, native against wasm"
jpegs="$out/jpeg-check"
rm -rf "$jpegs" && mkdir -p "$jpegs/in" "$jpegs/native" "$jpegs/wasm"
"$build/tests/web/jpeg-decode-check" make "$jpegs/in"
"$build/tests/web/jpeg-decode-check" decode "$jpegs/in" "$jpegs/native"
node "$out/wasm/jpeg-decode-check.js" decode "$jpegs/in" "$jpegs/wasm"
count=$(find "$jpegs/native" -type f | wc -l)
if [ "$count" -gt 60 ] && diff -r "$jpegs/native" "$jpegs/wasm" >/dev/null; then
    echo "ok: $count decodes identical"
else
    fail "the wasm decoder differs from the native one (or too few files: $count)"
fi

echo "=== web: the streaming MP3 decoder against the program's decode"
# mp3-decode-check is built with the program, on the libmpg123 it links (build-deps/mpg123,
# from the page's source with the page's options): the page must decode the same samples.
mp3s="$out/mp3-check"
rm -rf "$mp3s" && mkdir -p "$mp3s"
"$build/make-assets" --seconds 60 "$mp3s" >/dev/null
"$build/tests/web/mp3-decode-check" "$mp3s/velmorin.mp3" "$mp3s/program.pcm"
node tests/web/stream-decode-test.js "$out/wasm" "$mp3s/velmorin.mp3" "$mp3s/program.pcm" ||
    fail "the streaming decoder"

echo "=== web: the whole show under node against demo-render"
site="$out/test-site"
rm -rf "$site" && mkdir -p "$site"
cp -a "$out/site/." "$site/"
"$build/demo-render" --pack "$site/_.dat" --sha256 >"$out/native.sha256" 2>"$out/native.log" &
native=$!
node web/render-node.js "$out/wasm" "$site/_.dat" >"$out/node.sha256" 2>"$out/node.log" || true
wait "$native" || fail "demo-render failed"
frames=$(wc -l <"$out/native.sha256")
if [ "$frames" -gt 27000 ] && cmp -s "$out/native.sha256" "$out/node.sha256"; then
    echo "ok: all $frames frame digests equal ($(tail -n 1 "$out/node.log"))"
else
    fail "node's digests differ from demo-render's ($frames native frames)"
fi
junk="$out/junk.dat"
head -c 5000 /dev/urandom >"$junk"
if node web/render-node.js "$out/wasm" "$junk" >/dev/null 2>"$out/junk.log"; then
    fail "a junk pack was rendered"
elif grep -q '^Sorry\.$' "$out/junk.log" && grep -q 'created by' "$out/junk.log"; then
    echo "ok: a junk pack ends in \"Sorry.\" and the credits"
else
    fail "a junk pack did not end in \"Sorry.\" and the credits: $(head -c 300 "$out/junk.log")"
fi
reference="$root/../shared/reference"
if [ -f "$reference/_.dat" ] && [ -f "$reference/frames.md5" ]; then
    node web/render-node.js "$out/wasm" "$reference/_.dat" --md5 >"$out/reference.md5" \
        2>"$out/reference.log" || true
    if cmp -s "$reference/frames.md5" "$out/reference.md5"; then
        echo "ok: the reference show's $(wc -l <"$out/reference.md5") digests equal"
    else
        fail "node's digests of the reference show differ from its list"
    fi
else
    echo "no reference pack beside the checkout: the reference show is not rendered"
fi

echo "=== web: the site's compressed copies"
copies=0 wrong=0
for file in index.html page.js controls.js page.css demo.js demo.wasm; do
    for kind in br gz; do
        [ -f "$out/site/$file.$kind" ] || { fail "no $file.$kind in the site"; wrong=1; }
    done
done
for copy in "$out"/site/*.br "$out"/site/*.gz; do
    [ -f "$copy" ] || continue
    case "$copy" in
    *.br) decompress=(brotli -d -c) ;;
    *) decompress=(gzip -d -c) ;;
    esac
    if "${decompress[@]}" "$copy" | cmp -s - "${copy%.*}"; then
        copies=$((copies + 1))
    else
        fail "$copy does not decompress to $(basename "${copy%.*}")"
        wrong=1
    fi
done
[ "$wrong" -eq 0 ] && echo "ok: $copies .br and .gz copies decompress to the files beside them"

echo "=== web: the page in headless Chromium"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port" >"$out/http.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
python3 - "$port" <<'PY'
import sys, time, urllib.request
for _ in range(100):
    try:
        urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/index.html", timeout=1)
        break
    except OSError:
        time.sleep(0.1)
PY
NODE_OPTIONS= NODE_PATH="$out/npm/node_modules" node tests/web/page-test.js "http://127.0.0.1:$port" \
    "$out/native.sha256" "$out/screenshot.png" || fail "page tests"
NODE_OPTIONS= NODE_PATH="$out/npm/node_modules" node tests/web/page-seek-test.js "http://127.0.0.1:$port" \
    "$out/native.sha256" || fail "page seek tests"

echo "=== web: the streamed soundtrack in headless Chromium"
audio_site="$out/audio-site"
rm -rf "$audio_site" && mkdir -p "$audio_site"
cp -a "$out/site/." "$audio_site/"
rm -f "$audio_site/_.dat" "$audio_site/velmorin.mp3"
"$build/make-assets" "$audio_site" >/dev/null
NODE_OPTIONS='' NODE_PATH="$out/npm/node_modules" node tests/web/page-audio-test.js "$audio_site" ||
    fail "page audio tests"
NODE_OPTIONS= NODE_PATH="$out/npm/node_modules" node tests/web/page-controls-test.js \
    "http://127.0.0.1:$port" "$out/native.sha256" || fail "page controls tests"

[ "$status" -eq 0 ] && echo "=== web tests passed" || echo "=== web tests FAILED"
exit "$status"
