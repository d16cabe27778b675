#!/bin/sh
# Renders the show on a pack and compares every thousandth frame's digest (and the last
# frame's) with the recorded ones. END > 0 stops at that tick and compares the frames before it.
#
# usage: generated_show_test.sh DEMO_RENDER PACK EXPECTED END
set -u
render=$1
pack=$2
expected=$3
end=$4

out=$(mktemp)
trap 'rm -f "$out"' EXIT
if [ "$end" -gt 0 ]; then
    "$render" --pack "$pack" --every 1000 --end "$end" 2>/dev/null >"$out" ||
        { echo "demo-render failed"; exit 1; }
    # The run ends on a frame of its own; the thousandth frames before it must match.
    want=$(awk -v end="$end" '$2 <= end' "$expected")
    got=$(awk -v end="$end" '$2 <= end && $1 % 1000 == 0' "$out")
else
    "$render" --pack "$pack" --every 1000 2>/dev/null >"$out" ||
        { echo "demo-render failed"; exit 1; }
    want=$(cat "$expected")
    got=$(cat "$out")
fi
if [ "$want" != "$got" ]; then
    echo "frames depart from the recorded digests:"
    printf '%s\n' "$want" >"$out.want"
    printf '%s\n' "$got" >"$out.got"
    diff "$out.want" "$out.got" | head -20
    rm -f "$out.want" "$out.got"
    exit 1
fi
echo "$(printf '%s\n' "$got" | wc -l) digests match"
