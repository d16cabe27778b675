# Shared by the end-to-end display tests (sourced): a scratch folder, a virtual X screen on a
# free display number, and clean-up of everything they started.
#
#   label=...            names the test in failure lines
#   startScreen WxHxD    starts Xvfb and exports DISPLAY
#   startWindowManager   starts openbox on it and waits until it has announced itself
#   demoPid=...          a program to kill on the way out
#   fail TEXT            reports, shows the program's standard error, exits 1
#   checkShowEnded       after Escape: the show ended with code 0 and its credits
#   answerCredits WINDOW after Escape: answers the credits box (a real dialog) with Return
#                        until the show has ended, then checkShowEnded

work=$(mktemp -d)
xvfbPid=
helperPid=
demoPid=

cleanup() {
    [ -n "$demoPid" ] && kill "$demoPid" 2>/dev/null
    [ -n "$helperPid" ] && kill "$helperPid" 2>/dev/null
    [ -n "$xvfbPid" ] && kill "$xvfbPid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL ($label): $*"
    [ -f "$work/stderr.txt" ] && sed 's/^/  demo stderr: /' "$work/stderr.txt" | head -20
    exit 1
}

startScreen() {
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfbPid=$!
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    DISPLAY=:$(cat "$work/display")
    export DISPLAY
    unset SDL_VIDEODRIVER
}

# Full-screen asks the window manager, so the tests wait until it has announced itself. On a
# busy machine that can take a while; an openbox that died before announcing is started again.
startWindowManager() {
    for attempt in 1 2; do
        openbox >/dev/null 2>&1 &
        helperPid=$!
        for _ in $(seq 300); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && return 0
            kill -0 "$helperPid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$helperPid" 2>/dev/null
        wait "$helperPid" 2>/dev/null
        helperPid=
    done
    fail "the window manager did not start"
}

checkShowEnded() {
    kill -0 "$demoPid" 2>/dev/null && fail "the show did not end after Escape and Return"
    wait "$demoPid"
    code=$?
    demoPid=
    [ "$code" -eq 0 ] || fail "exit code $code, expected 0"
    grep -q "created by" "$work/stderr.txt" || fail "no credits on standard error"
    grep -q "Sorry." "$work/stderr.txt" && fail "the show reported an error"
    echo "$label: Escape ended the show with code 0 and the credits"
}

answerCredits() {
    local window="$1" box
    for _ in $(seq 100); do
        kill -0 "$demoPid" 2>/dev/null || break
        if grep -q "created by" "$work/stderr.txt"; then
            for box in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
                [ "$box" = "$window" ] && continue
                xwininfo -id "$box" | grep -q "the root window" && continue
                xdotool key --window "$box" Return 2>/dev/null
            done
        fi
        sleep 0.2
    done
    checkShowEnded
}
