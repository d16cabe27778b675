#!/usr/bin/env bash
# Frame pacing before and after: the show in a window on a virtual 24-bit X screen, SECONDS
# (default 60) of it with a busy-wait for each frame slot, then as long with the program's
# sleeping wait; the CPU share of each and the error of the frame slots, and the CPU time the
# X server spent meanwhile. Usage: bench-pacing.sh [PACK] [SECONDS]
set -euo pipefail
build=$(cd "$(dirname "$0")" && pwd)
pack=$(realpath "${1:-$build/show/_.dat}")
seconds=${2:-60}
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display") SDL_AUDIODRIVER=dummy
# serverCpu: the X server's CPU time so far, in clock ticks.
serverCpu() { awk '{print $14 + $15}' "/proc/$xvfb/stat"; }
for way in spin sleep; do
    before=$(serverCpu)
    (cd "$work" && "$build/bench/show/pacing_bench" "$pack" "$seconds" "$way" 2>/dev/null)
    awk -v t="$(( $(serverCpu) - before ))" -v hz="$(getconf CLK_TCK)" -v s="$seconds" \
        'BEGIN { printf "      X server meanwhile: %.2f s of CPU (%.1f %% of one core)\n", t / hz, 100 * t / hz / s }'
done
