#!/usr/bin/env bash
# Builds the project with clang (warnings as errors, no tests or benchmarks run) and renders the
# whole show on the generated default pack with the GCC build's and the clang build's
# demo-render: the digests of every frame must be the same. Fails when the clang build fails
# or any frame differs.
#
# usage: tools/compare-compilers.sh [GCC_BUILD_DIR]   (default build; it must be built already)
# Environment: JOBS (parallel compile jobs), CLANG_BUILD_DIR (default build-clang).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

gcc_dir="${1:-build}"
clang_dir="${CLANG_BUILD_DIR:-build-clang}"
jobs="${JOBS:-$(nproc)}"

JOBS="$jobs" tools/build-mpg123.sh
echo "=== $clang_dir: configure and build with clang"
CC=clang CXX=clang++ cmake -S . -B "$clang_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDEMO_WERROR=ON -DDEMO_BENCH=ON
cmake --build "$clang_dir" -j"$jobs"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$gcc_dir/make-assets" --seconds 1 "$work/assets" >/dev/null

echo "=== whole show on the generated pack: GCC's and clang's digests of every frame"
"$gcc_dir/demo-render" --pack "$work/assets/_.dat" >"$work/gcc.md5" 2>/dev/null &
gcc_render=$!
"$clang_dir/demo-render" --pack "$work/assets/_.dat" >"$work/clang.md5" 2>/dev/null ||
    { echo "clang's demo-render failed"; exit 1; }
wait "$gcc_render" || { echo "GCC's demo-render failed"; exit 1; }

frames=$(wc -l <"$work/gcc.md5")
if [ "$frames" -lt 27000 ] || ! cmp -s "$work/gcc.md5" "$work/clang.md5"; then
    echo "the builds' frames differ ($frames frames from GCC):"
    diff "$work/gcc.md5" "$work/clang.md5" | head -10
    exit 1
fi
echo "all $frames frames have the same digest in both builds"
