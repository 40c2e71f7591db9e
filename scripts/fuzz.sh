#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for the given number of seconds (default 60).
#   scripts/fuzz.sh 3600        # an hour per target
# New inputs that widen coverage collect in build-fuzz/corpus/<target>/; a crash or a broken invariant stops
# the target and leaves the input in build-fuzz/ (crash-*, timeout-*, oom-*), and the script fails.
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"

VENNRICK_FUZZ=1 scripts/install-deps.sh
CXX=clang++ cmake -S . -B build-fuzz -DVENNRICK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

status=0
for target in build-fuzz/tests/fuzz/fuzz_*; do
    name="${target##*/fuzz_}"
    work="build-fuzz/corpus/$name"
    mkdir -p "$work"
    echo "== fuzzing $name for $seconds s"
    # The font library's own leaks (the fallback font looked up for a glyph such as the QQ plot's lambda) are
    # suppressed as in the tests.
    if ! QT_QPA_PLATFORM=offscreen LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0" "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=512 \
            -print_final_stats=1 -artifact_prefix=build-fuzz/ "$work" "tests/fuzz/corpus/$name" \
            >"build-fuzz/$name.log" 2>&1; then
        status=1
        tail -n 40 "build-fuzz/$name.log"
    fi
    grep -E '^(stat::number_of_executed_units|stat::new_units_added)|cov:' "build-fuzz/$name.log" | tail -n 3
done
exit $status
