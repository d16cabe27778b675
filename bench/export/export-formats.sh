#!/bin/sh
# Times the export into each container and codec (time, size, multiple of real time) side by
# side with FFmpeg's command-line tool encoding the same frames, from a NUT file written with
# out=-, with the same settings; best of REPEAT, one run of both per round.
#
#   bench/export/export-formats.sh [BUILD_DIR]
#   environment: END=ticks (6390, a tenth of the show; 63901 is the whole show, whose NUT
#                file needs ~26 GB), FORMATS="avi:utvideo avi:ffv1 mkv:utvideo mp4:h264 ..."
#                (container:codec), REPEAT=1, PACK=path/to/_.dat, WORK=scratch directory,
#                EXPORTER=program that runs the show with the writer
#                (default: BUILD_DIR/tests/media/export/export-show)
# The export's time includes drawing the show; the tool's is encoding alone.
set -eu
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
end=${END:-6390}
formats=${FORMATS:-"avi:utvideo avi:ffv1 avi:raw avi:huffyuv mkv:utvideo mp4:h264 nut:raw"}
repeat=${REPEAT:-1}
pack=${PACK:-$here/../../../shared/reference/_.dat}
exporter=${EXPORTER:-$build/tests/media/export/export-show}
work=${WORK:-$build/bench-export-formats}

# The writer's settings for each container and codec, spelled for the command-line tool.
share="-vf scale=iw*2:ih*2:flags=neighbor,scale=out_color_matrix=bt709:out_range=tv \
-colorspace bt709 -color_primaries bt709 -color_trc bt709 -g 15 -flags +cgop -pix_fmt yuv420p"
cli_settings() {
    case $1 in
    avi:raw) echo "-c:v rawvideo -pix_fmt bgr24" ;;
    avi:ffv1 | mkv:ffv1) echo "-c:v ffv1 -level 3 -slicecrc 1 -pix_fmt bgr0" ;;
    avi:utvideo | mkv:utvideo) echo "-c:v utvideo -pix_fmt gbrp" ;;
    avi:huffyuv | mkv:huffyuv) echo "-c:v huffyuv -pix_fmt rgb24" ;;
    avi:mjpeg) echo "-c:v mjpeg -q:v 3 -g 310 -pix_fmt yuvj420p" ;;
    avi:h264) echo "-c:v libx264 -threads 8 -preset fast -crf 18 -bf 0 -g 310 -pix_fmt yuv420p" ;;
    mp4:h264 | mov:h264) echo "$share -c:v libx264 -threads 8 -preset medium -profile:v high -crf 18 -movflags +faststart" ;;
    mp4:h265) echo "$share -c:v libx265 -preset medium -crf 20 -tag:v hvc1 -x265-params log-level=error:open-gop=0 -movflags +faststart" ;;
    mp4:av1 | mkv:av1) echo "$share -c:v libsvtav1 -preset 8 -crf 30" ;;
    webm:vp9) echo "$share -c:v libvpx-vp9 -crf 24 -b:v 0 -row-mt 1 -deadline good -cpu-used 4" ;;
    nut:raw) echo "-c:v rawvideo -pix_fmt bgr24" ;;
    *) echo "no settings for $1" >&2; exit 2 ;;
    esac
}

seconds() { # runs the command quietly, prints its wall-clock seconds
    start=$(date +%s.%N)
    "$@" </dev/null >/dev/null 2>&1
    stop=$(date +%s.%N)
    echo "$stop - $start" | bc
}
megabytes() { echo "$(stat -c %s "$1") / 1000000" | bc -l; }

rm -rf "$work" && mkdir -p "$work" && cd "$work"
ln -s "$(cd "$(dirname "$pack")" && pwd)/$(basename "$pack")" _.dat
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy

echo "frames up to tick $end: written once as NUT through out=-"
"$exporter" video out=- end="$end" noaudio </dev/null 2>/dev/null >frames.nut
frames=$(ffprobe -v error -count_packets -select_streams v -show_entries stream=nb_read_packets \
    -of csv=p=0 frames.nut)
echo "$frames frames of 640 x 480 ($(echo "$frames / 31" | bc -l | xargs printf "%.1f") s of show)"
echo "format        export s   x real   ffmpeg s   ratio   export MB   ffmpeg MB"

for format in $formats; do
    container=${format%%:*}
    codec=${format#*:}
    best_ours=""; best_cli=""
    i=0
    while [ $i -lt "$repeat" ]; do
        ours=$(seconds "$exporter" video out="ours.$container" codec="$codec" end="$end" noaudio)
        # shellcheck disable=SC2046
        cli=$(seconds ffmpeg -v error -y -i frames.nut $(cli_settings "$format") -fflags +bitexact \
            "cli.$container")
        if [ -z "$best_ours" ] || [ "$(echo "$ours < $best_ours" | bc)" = 1 ]; then best_ours=$ours; fi
        if [ -z "$best_cli" ] || [ "$(echo "$cli < $best_cli" | bc)" = 1 ]; then best_cli=$cli; fi
        i=$((i + 1))
    done
    printf "%-12s %9.2f   %6.1f   %8.2f   %5.2f   %9.1f   %9.1f\n" "$format" "$best_ours" \
        "$(echo "$frames / 31 / $best_ours" | bc -l)" "$best_cli" \
        "$(echo "$best_ours / $best_cli" | bc -l)" "$(megabytes "ours.$container")" \
        "$(megabytes "cli.$container")"
    rm -f "ours.$container" "cli.$container"
done
rm -f frames.nut
