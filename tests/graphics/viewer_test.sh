#!/bin/sh
# End-to-end test of the viewer on a virtual X screen: the show in a 640 x 480 window with its
# music (SDL's dummy audio driver takes the sound at the pace of real time), driven by keys
# and the mouse as a viewer would:
# - Space pauses: two screenshots a second apart are equal, and neither the show's tick nor
#   the music's position moves until Space resumes; then both go on;
# - Right, while paused, moves the tick on by 5 s (355 ticks) onto video mode's frame grid,
#   the music with it;
# - . while paused shows the next video frame, and s saves it: the PNG equals the frame
#   demo-render dumps for that frame;
# - a click on the timeline lands on the tick of the column clicked;
# then Escape ends the show with code 0 and the credits. The show reports each pause and
# seek on standard error ("paused at tick N (frame K); music at M ms"), which is what this
# reads.
#
# usage: viewer_test.sh DEMO MAKE_ASSETS RENDER
set -u
demo=$1
makeAssets=$2
render=$3

label=viewer
. "$(dirname "$0")/virtual-screen.sh"
startScreen 1024x768x24

# The generated pictures, and a minute of music: all that the show plays here.
"$makeAssets" --seconds 60 "$work" >"$work/assets.txt" 2>&1 || fail "make-assets failed"
(cd "$work" && exec "$demo" windowed end=20000 >"$work/stdout.txt" 2>"$work/stderr.txt") &
demoPid=$!

window=
for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --pid "$demoPid" 2>/dev/null | tail -1)
    [ -n "$window" ] && xwininfo -id "$window" | grep -q "Width: 640" && break
    kill -0 "$demoPid" 2>/dev/null || fail "the program ended before its window appeared"
    window=
    sleep 0.2
done
[ -n "$window" ] || fail "no 640 x 480 window appeared"
xdotool windowfocus "$window" 2>/dev/null
sleep 2

# press KEY PATTERN: presses the key in the show's window and sets `said` to the first line
# of standard error after it that matches PATTERN (waiting up to 30 s).
press() {
    seen=$(wc -l <"$work/stderr.txt")
    xdotool windowfocus "$window" key "$1" 2>/dev/null
    awaitLine "$2" "$1"
}
awaitLine() {
    said=
    for _ in $(seq 300); do
        said=$(tail -n +"$((seen + 1))" "$work/stderr.txt" | grep -m1 -e "$1")
        [ -n "$said" ] && return 0
        kill -0 "$demoPid" 2>/dev/null || fail "the show ended after $2"
        sleep 0.1
    done
    fail "no line like \"$1\" after $2"
}
# field NAME: the number after NAME in the line said ("tick 123" gives 123).
field() {
    echo "$said" | sed -n "s/.*$1 \([0-9][0-9]*\).*/\1/p"
}
# screenshot FILE: the window's pixels as a PPM.
screenshot() {
    xwd -silent -id "$window" -out "$work/shot.xwd" && convert "$work/shot.xwd" -depth 8 "ppm:$1"
}

# Space: the picture, the tick and the music stand still.
press space "paused at tick"
pausedTick=$(field tick)
pausedMusic=$(field "music at")
[ -n "$pausedMusic" ] || fail "no music position in \"$said\""
# Time for the frame shown before the pause (and the timeline's pause mark) to reach the
# screen on a loaded machine.
sleep 1
screenshot "$work/before.ppm" || fail "no screenshot"
sleep 1
screenshot "$work/after.ppm" || fail "no screenshot"
cmp -s "$work/before.ppm" "$work/after.ppm" || fail "the picture changed while paused"
press space "playing from tick"
[ "$(field tick)" = "$pausedTick" ] || fail "paused at tick $pausedTick, resumed from $(field tick)"
[ "$(field "music at")" = "$pausedMusic" ] ||
    fail "the music was at $pausedMusic ms when paused, at $(field "music at") ms when resumed"
echo "viewer: Space held the picture, tick $pausedTick and the music at $pausedMusic ms"
resumedAt=$(date +%s%N)
sleep 1
press space "paused at tick"
playedMs=$((($(date +%s%N) - resumedAt) / 1000000))
# The show went on in real time for at least the second slept (71 ticks), at most for the whole
# time between the two answers; the music went on with it.
played=$(($(field tick) - pausedTick))
[ "$played" -ge 53 ] && [ "$played" -le "$((playedMs * 71 / 1000 + 10))" ] ||
    fail "after resuming for ${playedMs} ms the show went on by $played ticks: $said"
musicPlayed=$(($(field "music at") - pausedMusic))
[ "$((musicPlayed - played * 1000 / 71))" -le 250 ] && [ "$((played * 1000 / 71 - musicPlayed))" -le 250 ] ||
    fail "the music went on by $musicPlayed ms while the show went on by $played ticks: $said"
pausedTick=$(field tick)

# Right: 5 s on, landing on the first video frame at or after that tick.
press Right "at tick"
soughtTick=$(field tick)
soughtFrame=$(field frame)
moved=$((soughtTick - pausedTick))
[ "$moved" -ge 355 ] && [ "$moved" -le 358 ] || fail "Right moved the tick by $moved: $said"
expectedMusic=$((soughtTick * 1000 / 71))
music=$(field "music at")
[ "$music" -ge "$((expectedMusic - 1))" ] && [ "$music" -le "$expectedMusic" ] ||
    fail "after the seek to tick $soughtTick the music is at $music ms, not $expectedMusic"
echo "viewer: Right moved the tick by $moved to $soughtTick (frame $soughtFrame), the music to $music ms"

# . then s: the next video frame, saved exactly as video mode draws it.
press period "at tick"
[ "$(field frame)" = "$((soughtFrame + 1))" ] || fail ". after frame $soughtFrame gave: $said"
stepTick=$(field tick)
press s "saved"
saved=$(echo "$said" | sed -n 's/^saved \([^:]*\):.*/\1/p')
[ "$(field frame)" = "$((soughtFrame + 1))" ] || fail "s saved another frame: $said"
[ -f "$work/$saved" ] || fail "no file $saved in the working directory"
mkdir "$work/dump"
"$render" --pack "$work/_.dat" --end "$((stepTick + 1))" --dump "$work/dump" \
    --at "$((soughtFrame + 1))" >/dev/null 2>&1 || fail "demo-render failed"
differing=$(compare -metric AE "$work/$saved" "$work/dump/frame$((soughtFrame + 1)).ppm" null: 2>&1)
[ "$differing" = 0 ] || fail "$saved differs from demo-render's frame $((soughtFrame + 1)) in $differing pixels"
echo "viewer: . showed frame $((soughtFrame + 1)); s saved it as $saved, equal to demo-render's"

# A click on the timeline: at 640 x 480 its track runs from column 8 to 632 along row 452, so
# column 164 is a quarter of the show, tick 15975 (one column is 102 ticks).
seen=$(wc -l <"$work/stderr.txt")
xdotool mousemove --window "$window" 164 452 click 1 2>/dev/null
awaitLine "at tick" "the click"
clicked=$(field tick)
[ "$clicked" -ge 15975 ] && [ "$clicked" -le 15978 ] || fail "the click at a quarter landed on: $said"
echo "viewer: a click at a quarter of the timeline landed on tick $clicked"

# Escape ends the show; the credits box that follows is a real dialog, dismissed with Return.
xdotool windowfocus "$window" key Escape 2>/dev/null
answerCredits "$window"
exit 0
