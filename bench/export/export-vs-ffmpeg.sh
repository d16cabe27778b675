#!/bin/sh
# Times video mode's export against FFmpeg's command-line tool encoding the same frames, with
# the same codec settings, from a raw file; both run side by side in one go, best of REPEAT.
#
#   bench/export/export-vs-ffmpeg.sh [BUILD_DIR]
#   environment: END=ticks (6000; 63900 is the whole show and needs ~26 GB for the raw frames)
#                CODECS="ffv1 h264"  REPEAT=2  PACK=path/to/_.dat  WORK=scratch directory
#                EXPORTER=program that runs the show with the AVI writer
#                         (default: BUILD_DIR/tests/media/export/export-show)
set -eu
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
end=${END:-6000}
codecs=${CODECS:-"ffv1 h264"}
repeat=${REPEAT:-2}
pack=${PACK:-$here/../../../shared/reference/_.dat}
exporter=${EXPORTER:-$build/tests/media/export/export-show}
work=${WORK:-$build/bench-export}

# The settings the writer gives each encoder, spelled for the command-line tool.
cli_settings() {
    case $1 in
    ffv1) echo "-c:v ffv1 -level 3 -slicecrc 1 -g 310 -pix_fmt bgr0" ;;
    h264) echo "-c:v libx264 -preset fast -crf 18 -bf 0 -g 310 -pix_fmt yuv420p" ;;
    utvideo) echo "-c:v utvideo -pix_fmt gbrp" ;;
    huffyuv) echo "-c:v huffyuv -pix_fmt rgb24" ;;
    mjpeg) echo "-c:v mjpeg -q:v 3 -g 310 -pix_fmt yuvj420p" ;;
    *) echo "unknown codec $1" >&2; exit 2 ;;
    esac
}

seconds() { # runs the command quietly, prints its wall-clock seconds
    start=$(date +%s.%N)
    "$@" </dev/null >/dev/null 2>&1
    stop=$(date +%s.%N)
    echo "$stop - $start" | bc
}

rm -rf "$work" && mkdir -p "$work" && cd "$work"
ln -s "$(cd "$(dirname "$pack")" && pwd)/$(basename "$pack")" _.dat
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy

echo "frames up to tick $end: rendering them raw once"
"$exporter" video codec=raw end="$end" noaudio </dev/null >/dev/null 2>&1
ffmpeg -v error -y -i _.avi -f rawvideo -pix_fmt bgr24 frames.bgr
frames=$(( $(stat -c %s frames.bgr) / 921600 ))
rm -f _.avi
echo "$frames frames of 640 x 480"
echo "codec   export s   ffmpeg s   ratio   export MB   ffmpeg MB"

for codec in $codecs; do
    best_ours=""; best_cli=""
    i=0
    while [ $i -lt "$repeat" ]; do
        ours=$(seconds "$exporter" video codec="$codec" end="$end" noaudio)
        # shellcheck disable=SC2046
        cli=$(seconds ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s 640x480 -r 31 \
            -i frames.bgr $(cli_settings "$codec") cli.avi)
        if [ -z "$best_ours" ] || [ "$(echo "$ours < $best_ours" | bc)" = 1 ]; then best_ours=$ours; fi
        if [ -z "$best_cli" ] || [ "$(echo "$cli < $best_cli" | bc)" = 1 ]; then best_cli=$cli; fi
        i=$((i + 1))
    done
    printf "%-7s %8.2f   %8.2f   %5.2f   %9.1f   %9.1f\n" "$codec" "$best_ours" "$best_cli" \
        "$(echo "$best_ours / $best_cli" | bc -l)" \
        "$(echo "$(stat -c %s _.avi) / 1048576" | bc -l)" "$(echo "$(stat -c %s cli.avi) / 1048576" | bc -l)"
done
rm -f frames.bgr
