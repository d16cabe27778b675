#!/bin/sh
# The picture's size, place and enlargement on today's screens, exactly: a probe shows a known
# random picture full-screen on virtual 24-bit screens with a window manager, and the screenshot
# is checked against it (scaled-check): a whole number of screen rows per source row where the
# enlargement fills three quarters of the height, sharp scaling below that. Then in a window
# resized to 1000 x 900 (which leaves the desktop's compositor on), and F11 and Alt+Enter each
# twice return to that window size.
#
# usage: scaling_test.sh PROBE SCALED_CHECK
set -u
probe=$1
checker=$2

label=scaling
. "$(dirname "$0")/virtual-screen.sh"

# startDesktop WxH: a 24-bit virtual screen of that size with openbox running.
startDesktop() {
    startScreen "${1}x24"
    startWindowManager
}

stopDesktop() {
    kill "$helperPid" "$xvfbPid" 2>/dev/null
    wait "$helperPid" "$xvfbPid" 2>/dev/null
    helperPid=
    xvfbPid=
    rm -f "$work/display"
}

# findWindow: sets window to the probe's window, found afresh (SDL may replace a new window
# by another one when it sets up its renderer).
findWindow() {
    window=
    for _ in $(seq 100); do
        window=$(xdotool search --onlyvisible --pid "$demoPid" 2>/dev/null | tail -1)
        [ -n "$window" ] && xwininfo -id "$window" >/dev/null 2>&1 && return 0
        kill -0 "$demoPid" 2>/dev/null || fail "the probe ended before its window appeared"
        sleep 0.1
    done
    fail "the probe's window did not appear"
}

# startProbe ARGS...: the probe, its window found and focused.
startProbe() {
    (cd "$work" && exec "$probe" "$work/expected.ppm" "$@" >"$work/stderr.txt" 2>&1) &
    demoPid=$!
    findWindow
    xdotool windowfocus "$window" 2>/dev/null
}

stopProbe() {
    findWindow
    xdotool windowfocus "$window" key Escape 2>/dev/null
    for _ in $(seq 50); do kill -0 "$demoPid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$demoPid" 2>/dev/null && fail "the probe did not end on Escape"
    demoPid=
}

# windowSize: the probe window's inside size as WxH.
windowSize() {
    findWindow
    xwininfo -id "$window" 2>/dev/null | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}'
}

# waitForSize WxH: until the probe's window has that size.
waitForSize() {
    for _ in $(seq 50); do
        [ "$(windowSize)" = "$1" ] && return 0
        sleep 0.1
    done
    fail "the window is $(windowSize), expected $1"
}

# expectPicture WHAT root|window -- CHECK-ARGS: screenshots (of the screen or the probe's
# window) until one passes scaled-check with those arguments, at most a few seconds.
expectPicture() {
    what=$1
    of=$2
    shift 3
    for _ in $(seq 15); do
        sleep 0.3
        if [ "$of" = root ]; then
            shotArgs=-root
        else
            findWindow
            shotArgs="-id $window"
        fi
        # shellcheck disable=SC2086
        xwd -silent $shotArgs -out "$work/shot.xwd" 2>/dev/null &&
            convert "$work/shot.xwd" -depth 8 "ppm:$work/shot.ppm" 2>/dev/null || continue
        if "$checker" "$@" >"$work/check.txt" 2>"$work/check-err.txt"; then
            echo "$what: $(cat "$work/check.txt")"
            return 0
        fi
    done
    cp "$work/shot.ppm" "/tmp/scaling-$label.ppm" 2>/dev/null
    fail "$what: $(head -3 "$work/check-err.txt") (kept in /tmp/scaling-$label.ppm)"
}

# Full-screen: screen size, the picture's place and size, and how it is enlarged.
for case in "1920x1080 whole 320 60 1280 960" "2560x1440 whole 320 0 1920 1440" \
    "1280x720 --sharp 160 0 960 720" "1366x768 --sharp 171 0 1024 768"; do
    # shellcheck disable=SC2086
    set -- $case
    size=$1
    sharp=
    [ "$2" = --sharp ] && sharp=--sharp
    shift 2
    label="full-screen $size"
    startDesktop "$size"
    startProbe fullscreen
    waitForSize "$size"
    # shellcheck disable=SC2086
    expectPicture "$label" root -- $sharp "$work/expected.ppm" "$work/shot.ppm" "$@"
    stopProbe
    stopDesktop
done

# A window resized to 1000 x 900 on the 1920 x 1080 screen: sharp scaling to 1000 x 750.
label="window 1000x900"
startDesktop 1920x1080
startProbe
waitForSize 640x480
findWindow
xprop -id "$window" _NET_WM_BYPASS_COMPOSITOR | grep -q "= 1" &&
    fail "the window asks the compositor to stand aside"
xdotool windowsize "$window" 1000 900
waitForSize 1000x900
expectPicture "$label" window -- --sharp "$work/expected.ppm" "$work/shot.ppm" 0 75 1000 750
for keys in F11 alt+Return; do
    findWindow
    xdotool windowfocus "$window" key "$keys"
    waitForSize 1920x1080
    xdotool windowfocus "$window" key "$keys"
    waitForSize 1000x900
    echo "$label: $keys twice returned to 1000x900"
done
stopProbe
exit 0
