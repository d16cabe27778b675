#!/usr/bin/env bash
# The seek index's spacing against seek times, its size and its build time: demo-render's seek
# check at each spacing (ms of stepping between two snapshots).
# Usage: bench-seek-spacing.sh [PACK] [TARGETS (default 200)] [SPACINGS (default "30 45 60 80 100")]
set -euo pipefail
build=$(cd "$(dirname "$0")" && pwd)
pack=${1:-$build/show/_.dat}
targets=${2:-200}
for spacing in ${3:-30 45 60 80 100}; do
    echo "spacing $spacing ms: $("$build/demo-render" --pack "$pack" --seek-check "$targets" \
        --seek-spacing "$spacing")"
done
