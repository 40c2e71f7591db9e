#!/bin/sh
# Installs what the build needs, builds Vennrick twice (optimised, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole test suite in both builds.
set -eu
cd "$(dirname "$0")/.."

VENNRICK_TESTS=1 scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
for variant in release sanitize; do
    dir="build-test-$variant"
    sanitize=OFF
    [ "$variant" = sanitize ] && sanitize=ON
    echo "== $variant build ($dir)"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVENNRICK_SANITIZE=$sanitize >/dev/null
    cmake --build "$dir" -j "$jobs" >/dev/null
    echo "== $variant tests"
    # Sanitizer reports end the process with a non-zero status, so any finding fails the run.
    ASAN_OPTIONS=abort_on_error=0:detect_leaks=1 \
    LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done
