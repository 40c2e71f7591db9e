#!/bin/sh
# Times the plotting stage (everything after reading: layout, painting, JPEG) on 10 million points with
# Google Benchmark, against the stage library of a build directory.
#
#   scripts/bench/plot_benchmark.sh [BUILD_DIR] [benchmark options, e.g. --benchmark_repetitions=5]
#
# BUILD_DIR defaults to build (a Release build); the benchmark is built there by CMake.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
[ $# -gt 0 ] && shift
"$root/scripts/install-deps.sh" libbenchmark-dev
# The benchmark is a target of the build once Google Benchmark is installed.
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target plot_benchmark -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
"$build/plot_benchmark" "$@"
