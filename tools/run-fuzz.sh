#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build-fuzz/ and runs each for FUZZ_SECONDS (default 60) on its seeds (made by the build
# from the generated assets) and its regression inputs. Fails on the first crash, leak or
# hang; the input that caused it is left in build-fuzz/fuzz/findings/NAME/ - add it to
# fuzz/regressions/NAME/ once mended.
# Environment: JOBS, FUZZ_BUILD_DIR (default build-fuzz), FUZZ_SECONDS.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

jobs="${JOBS:-$(nproc)}"
dir="${FUZZ_BUILD_DIR:-build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
targets=(pack picture soundtrack seekindex)

JOBS="$jobs" tools/build-mpg123.sh
echo "=== $dir: configure and build the fuzz targets (clang)"
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_SANITIZE=ON \
    -DDEMO_FUZZ=ON -DDEMO_TESTS=OFF -DDEMO_BENCH=OFF
cmake --build "$dir" -j"$jobs" --target fuzz-seeds "${targets[@]/#/fuzz-}"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export SDL_AUDIODRIVER=dummy
for name in "${targets[@]}"; do
    corpus="$dir/fuzz/corpus/$name"
    findings="$dir/fuzz/findings/$name"
    mkdir -p "$corpus" "$findings"
    echo "=== fuzz-$name: $seconds s"
    # New inputs go to the scratch corpus; seeds and regressions are read only.
    "$dir/fuzz/fuzz-$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/" \
        "$corpus" "$dir/fuzz/seeds/$name" $(ls -d "fuzz/regressions/$name" 2>/dev/null)
done
echo "=== fuzz targets: passed"
