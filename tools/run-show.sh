#!/usr/bin/env bash
# Builds the demo (installing missing packages first, and libmpg123 from Debian's source with
# tools/build-mpg123.sh), generates the default show assets into
# build/show/ when they are missing, and runs the show there. Arguments go to the demo
# (e.g. windowed, noaudio, video, end=N).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-packages.sh"
"$root/tools/build-mpg123.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" -j"$(nproc)" --target demo make-assets demo-render pack
show="$root/build/show"
if [ ! -f "$show/_.dat" ] || [ ! -f "$show/velmorin.mp3" ]; then
    mkdir -p "$show"
    "$root/build/make-assets" "$show"
fi
cd "$show"
exec "$root/build/demo" "$@"
