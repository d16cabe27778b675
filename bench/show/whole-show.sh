#!/usr/bin/env bash
# Renders the whole show headless with the 24-bit frame copy and without digests, and reports
# frames per second per scene, the slowest frame, and the CPU time against the 900 s the show
# plays for. Usage: bench-whole-show.sh [PACK]   (default: build/show/_.dat)
set -euo pipefail
build=$(cd "$(dirname "$0")" && pwd)
pack=${1:-$build/show/_.dat}
report=$(mktemp)
/usr/bin/time -f "%U %e" -o "$report.time" "$build/demo-render" --pack "$pack" --no-digest 2> "$report"
cat "$report"
read -r user wall < "$report.time"
awk -v u="$user" -v w="$wall" 'BEGIN {
    printf "CPU %.2f s, wall %.2f s: %.0f times faster than the show plays (CPU)\n", u, w, 900 / u }'
rm -f "$report" "$report.time"
