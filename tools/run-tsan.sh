#!/usr/bin/env bash
# Builds the project with clang and ThreadSanitizer in build-tsan/ and runs the tests whose
# code runs threads: the export, the sound library, the whole program and a seek index dropped
# while it builds. FFmpeg's libraries are not instrumented, so only reports inside them are
# suppressed (tests/tsan.supp, each with its reason); any report in the project's own code
# fails the run.
# Environment: JOBS, TSAN_BUILD_DIR (default build-tsan).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

jobs="${JOBS:-$(nproc)}"
dir="${TSAN_BUILD_DIR:-build-tsan}"

JOBS="$jobs" tools/build-mpg123.sh
echo "=== $dir: configure and build (clang, ThreadSanitizer)"
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_TSAN=ON \
    -DDEMO_BENCH=OFF
cmake --build "$dir" -j"$jobs"

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
echo "=== $dir: export, sound and whole-program tests"
(cd "$dir" && ctest --output-on-failure -j2 -R 'Avi|CodecChooser|Export|Sound|Music|DecodeOnly|Program|Fuzz.Replay.soundtrack|IndexDropped')
