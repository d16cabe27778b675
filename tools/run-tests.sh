#!/usr/bin/env bash
# Builds the project twice (RelWithDebInfo in build/, AddressSanitizer + UBSan in build-asan/)
# and runs every test in both, then builds it with clang and compares the whole show's digests
# (tools/compare-compilers.sh); fails when any of the three fails.
#
# Missing Debian packages (tools/packages.txt) are installed first (apt-get, through sudo when
# not root).
# Environment: JOBS (parallel compile jobs, default: the number of cores), BUILD_DIR and
# ASAN_BUILD_DIR (build directories, defaults build and build-asan).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

jobs="${JOBS:-$(nproc)}"
build_dir="${BUILD_DIR:-build}"
asan_build_dir="${ASAN_BUILD_DIR:-build-asan}"

tools/install-packages.sh

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

# The process-lifetime objects that the design never frees would read as leaks.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=0:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
asan_status=0
build_and_test "$asan_build_dir" -DDEMO_SANITIZE=ON -DDEMO_BENCH=OFF || asan_status=$?

clang_status=0
JOBS="$jobs" tools/compare-compilers.sh "$build_dir" || clang_status=$?

echo "=== normal build: $([ "$normal_status" -eq 0 ] && echo passed || echo FAILED)"
echo "=== sanitizer build: $([ "$asan_status" -eq 0 ] && echo passed || echo FAILED)"
echo "=== clang build and digests: $([ "$clang_status" -eq 0 ] && echo passed || echo FAILED)"
[ "$normal_status" -eq 0 ] && [ "$asan_status" -eq 0 ] && [ "$clang_status" -eq 0 ]
