#!/bin/sh
# Full-screen on a screen without a 640 x 480 mode: a virtual 1280 x 720 X screen with a window
# manager. The show must cover the whole screen, its picture scaled to the screen's height
# (960 x 720 in the middle) with black bars of 160 columns at the sides; Alt+Enter makes it a
# 640 x 480 window and Alt+Enter again full-screen; Escape and Return on the credits box end it
# with exit code 0 and the credits exactly once.
#
# usage: fullscreen_test.sh DEMO PACK
set -u
demo=$1
pack=$2

label=full-screen
. "$(dirname "$0")/virtual-screen.sh"
startScreen 1280x720x24
startWindowManager

cp "$pack" "$work/_.dat" || fail "no pack file $pack"
(cd "$work" && exec "$demo" end=3000 noaudio >"$work/stdout.txt" 2>"$work/stderr.txt") &
demoPid=$!

# maximum LEFT TOP WIDTH HEIGHT: the brightest value (0 to 1) in that part of the screen.
maximum() {
    convert "$work/root.xwd" -crop "${3}x${4}+$1+$2" +repage -format '%[fx:maxima]' info:
}

covered=no
for _ in $(seq 120); do
    sleep 0.5
    kill -0 "$demoPid" 2>/dev/null || fail "the show ended early"
    # A window that goes away while xwd walks the screen makes it fail: look again.
    xwd -silent -root -out "$work/root.xwd" 2>/dev/null || continue
    left=$(maximum 0 0 160 720)
    right=$(maximum 1120 0 160 720)
    [ "$left" = 0 ] && [ "$right" = 0 ] || fail "the bars are not black ($left, $right)"
    # The show starts black and its light spreads out from the middle: wait for light in the
    # parts that only a picture scaled to the full height reaches (an unscaled one, centred,
    # would leave them black).
    top=$(maximum 172 12 936 108)
    side=$(maximum 172 12 148 696)
    if [ "$top" != 0 ] && [ "$side" != 0 ]; then covered=yes; break; fi
done
[ "$covered" = yes ] || fail "the picture does not fill the screen's height"
echo "full-screen: bars black, the picture fills the height"

window=$(xdotool search --onlyvisible --pid "$demoPid" 2>/dev/null | tail -1)
[ -n "$window" ] || fail "no window of the show"
# waitForSize WxH: until the show's window (found afresh each time) has that size.
waitForSize() {
    for _ in $(seq 50); do
        window=$(xdotool search --onlyvisible --pid "$demoPid" 2>/dev/null | tail -1)
        size=$(xwininfo -id "$window" 2>/dev/null | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}')
        [ "$size" = "$1" ] && return 0
        sleep 0.1
    done
    fail "the window is $size, expected $1"
}
xdotool windowfocus "$window" key alt+Return
waitForSize 640x480
xdotool windowfocus "$window" key alt+Return
waitForSize 1280x720
echo "full-screen: Alt+Enter gave a 640 x 480 window, Alt+Enter again the whole screen"

xdotool windowfocus "$window" 2>/dev/null
xdotool key Escape
for _ in $(seq 100); do
    kill -0 "$demoPid" 2>/dev/null || break
    grep -q "created by" "$work/stderr.txt" && xdotool key Return
    sleep 0.2
done
checkShowEnded
credits=$(grep -c "created by" "$work/stderr.txt")
[ "$credits" -eq 1 ] || fail "the credits were shown $credits times"
