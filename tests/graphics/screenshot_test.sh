#!/bin/sh
# End-to-end test of the display on a virtual X screen: runs the show in a window at the given
# screen depth, takes screenshots of the window while it runs until one shows a picture, checks
# each for the black border and the black line-doubling rows (what every frame has, so any
# moment will do), sends Escape, dismisses the credits box with Return, and checks exit code 0
# and the credits on standard error. Given the present benchmark as well, it reports present's
# cost per frame on the same screen (for information; it never decides the result).
#
# Then a probe shows one known random picture in the same window: the screenshot must equal it
# pixel for pixel at depth 24, and through the 5-6-5 converter at depth 16.
#
# usage: screenshot_test.sh DEMO CHECKER PROBE PACK DEPTH [PRESENT_BENCH]
set -u
demo=$1
checker=$2
probe=$3
pack=$4
depth=$5
bench=${6:-}

label="depth $depth"
. "$(dirname "$0")/virtual-screen.sh"
startScreen "1024x768x$depth"

# The show, in a window, ending by itself after 3000 ticks (42 s) should Escape go astray.
cp "$pack" "$work/_.dat" || fail "no pack file $pack"
(cd "$work" && exec "$demo" windowed end=3000 noaudio >"$work/stdout.txt" 2>"$work/stderr.txt") &
demoPid=$!

# findWindow PID: sets window to the 640 x 480 window of that process, focused.
findWindow() {
    window=
    for _ in $(seq 100); do
        for candidate in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
            if xwininfo -id "$candidate" | grep -q "Width: 640" &&
                xwininfo -id "$candidate" | grep -q "Height: 480"; then
                window=$candidate
            fi
        done
        [ -n "$window" ] && break
        kill -0 "$1" 2>/dev/null || fail "the program ended before its window appeared"
        sleep 0.2
    done
    [ -n "$window" ] || fail "no 640 x 480 window appeared"
    xwininfo -id "$window" | grep -q "Depth: $depth" || fail "the window is not $depth bits deep"
    xdotool windowfocus "$window" 2>/dev/null
}

# screenshot PID FILE: the pixels of that process's window as the X server holds them, as a
# PPM; fails when the window went away meanwhile (SDL may replace a new window by another one
# when it sets up its renderer). (A dump of the root window is no good here: at depth 16 Xvfb
# hands it out mislabelled as 24 bits.)
screenshot() {
    findWindow "$1"
    xwd -silent -id "$window" -out "$work/shot.xwd" 2>/dev/null &&
        convert "$work/shot.xwd" -depth 8 "ppm:$2"
}

findWindow "$demoPid"

# Screenshots until the picture is lit (the show starts black); every one must be well formed.
shown=no
for shot in $(seq 80); do
    [ "$shot" -gt 1 ] && sleep 0.5
    screenshot "$demoPid" "$work/shot.ppm" || continue
    "$checker" "$work/shot.ppm" >"$work/check.txt"
    case $? in
    0) shown=yes; break ;;
    2) ;;
    *) cp "$work/shot.ppm" "/tmp/screenshot-depth$depth.ppm"
       fail "screenshot $shot is malformed (kept in /tmp/screenshot-depth$depth.ppm)" ;;
    esac
done
[ "$shown" = yes ] || fail "the window stayed black"
echo "depth $depth: $(cat "$work/check.txt")"

# Escape ends the show; the credits box that follows is a real dialog, dismissed with Return.
xdotool key Escape 2>/dev/null
for _ in $(seq 30); do grep -q "created by" "$work/stderr.txt" && break; sleep 0.1; done
grep -q "created by" "$work/stderr.txt" || xdotool key --window "$window" Escape 2>/dev/null
answerCredits "$window"

# The known picture, exactly.
(cd "$work" && exec "$probe" "$work/expected.ppm" >"$work/stderr.txt" 2>&1) &
demoPid=$!
findWindow "$demoPid"
exact=no
for _ in $(seq 20); do
    sleep 0.3
    screenshot "$demoPid" "$work/probe.ppm" || continue
    if "$checker" --expect "$work/expected.ppm" "$depth" "$work/probe.ppm" >"$work/check.txt" \
        2>"$work/check-err.txt"; then
        exact=yes
        break
    fi
done
if [ "$exact" != yes ]; then
    cp "$work/probe.ppm" "/tmp/probe-depth$depth.ppm"
    fail "the known picture is not shown as sent: $(cat "$work/check-err.txt") (kept in /tmp/probe-depth$depth.ppm)"
fi
echo "depth $depth: known picture: $(cat "$work/check.txt")"
xdotool key --window "$window" Escape 2>/dev/null
for _ in $(seq 50); do kill -0 "$demoPid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$demoPid" 2>/dev/null && fail "the probe did not end on Escape"
wait "$demoPid"
code=$?
demoPid=
[ "$code" -eq 0 ] || fail "the probe ended with code $code on Escape, expected 0"

if [ -n "$bench" ] && [ -x "$bench" ]; then
    "$bench" --benchmark_min_time=1 2>/dev/null | grep "^present" |
        sed "s/^/depth $depth, cost per frame (wall, CPU): /"
fi
exit 0
