#!/usr/bin/env bash
# Builds the project twice (RelWithDebInfo in build/, AddressSanitizer + UBSan in build-asan/)
# and runs every test in both, builds it with clang and compares the whole show's digests
# (tools/compare-compilers.sh), runs the web build's tests (tests/web/run-web-tests.sh), the
# fuzz targets (tools/run-fuzz.sh) and the thread tests under ThreadSanitizer
# (tools/run-tsan.sh); fails when any of them fails.
#
# Missing Debian packages (tools/packages.txt) are installed first (apt-get, through sudo when
# not root), and libmpg123 is built from Debian's source (tools/build-mpg123.sh).
# Environment: JOBS (parallel compile jobs, default: the number of cores), BUILD_DIR and
# ASAN_BUILD_DIR (build directories, defaults build and build-asan).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

jobs="${JOBS:-$(nproc)}"
build_dir="${BUILD_DIR:-build}"
asan_build_dir="${ASAN_BUILD_DIR:-build-asan}"

tools/install-packages.sh
# The soundtrack's decoder, from Debian's source (every build below links it).
JOBS="$jobs" tools/build-mpg123.sh

# build_and_test DIR [CMAKE OPTIONS...]: configures, builds and runs ctest; returns its status.
build_and_test() {
    local dir="$1"
    shift
    echo "=== $dir: configure and build"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" || return 1
    cmake --build "$dir" -j"$jobs" || return 1
    echo "=== $dir: tests"
    (cd "$dir" && ctest --output-on-failure -j2)
}

normal_status=0
build_and_test "$build_dir" || normal_status=$?
# The web build and its node and headless Chromium tests, on the normal build's tools.
web_status=0
tests/web/run-web-tests.sh "$build_dir" || web_status=$?

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
asan_status=0
build_and_test "$asan_build_dir" -DDEMO_SANITIZE=ON -DDEMO_BENCH=OFF || asan_status=$?

clang_status=0
JOBS="$jobs" tools/compare-compilers.sh "$build_dir" || clang_status=$?

unset ASAN_OPTIONS UBSAN_OPTIONS
# The fuzz targets for 60 s each (clang, libFuzzer) and the thread tests under ThreadSanitizer.
fuzz_status=0
JOBS="$jobs" tools/run-fuzz.sh || fuzz_status=$?
tsan_status=0
JOBS="$jobs" tools/run-tsan.sh || tsan_status=$?

verdict() { [ "$1" -eq 0 ] && echo passed || echo FAILED; }
echo "=== normal build: $(verdict "$normal_status")"
echo "=== sanitizer build: $(verdict "$asan_status")"
echo "=== clang build and digests: $(verdict "$clang_status")"
echo "=== fuzz targets: $(verdict "$fuzz_status")"
echo "=== thread sanitizer: $(verdict "$tsan_status")"
echo "=== web build: $(verdict "$web_status")"
[ "$normal_status" -eq 0 ] && [ "$asan_status" -eq 0 ] && [ "$clang_status" -eq 0 ] &&
    [ "$fuzz_status" -eq 0 ] && [ "$tsan_status" -eq 0 ] && [ "$web_status" -eq 0 ]
