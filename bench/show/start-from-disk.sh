#!/usr/bin/env bash
# start= with and without the seek index kept on disk: the program's wall and CPU time from
# its start to the end of its first frame at tick START (end=START+1 ends it there), RUNS
# times each way, in a scratch folder with a cache folder of its own. The index is written
# first by a playback run long enough for it to be complete (about 30 s).
# Usage: bench-start-from-disk.sh [PACK] [START (default 63000)] [RUNS (default 3)]
set -euo pipefail
build=$(cd "$(dirname "$0")" && pwd)
pack=$(realpath "${1:-$build/show/_.dat}")
start=${2:-63000}
runs=${3:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$pack" "$work/_.dat"
cd "$work"
export XDG_CACHE_HOME="$work/cache" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
"$build/demo" windowed noaudio end=2200 2>&1 | grep -i 'seek index' || true
ls "$XDG_CACHE_HOME"/demo/*.seek >/dev/null 2>&1 || { echo "no seek index was written"; exit 1; }
for run in $(seq "$runs"); do
    for word in "" nocache; do
        /usr/bin/time -f "start=$start ${word:-(index on disk)}: %e s wall, %U s user" \
            "$build/demo" windowed noaudio "start=$start" "end=$((start + 1))" $word 2>&1 |
            grep 'wall'
    done
done
