#!/bin/sh
# Times the plotting stage (everything after reading: layout, painting, JPEG) on 10 million points with
# Google Benchmark, against the stage library of a build directory.
#
#   scripts/plot_benchmark.sh [BUILD_DIR] [benchmark options, e.g. --benchmark_repetitions=5]
#
# BUILD_DIR defaults to build; it must hold a built libvennrick_core.a (a Release build).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
[ $# -gt 0 ] && shift
lib="$build/libvennrick_core.a"
[ -f "$lib" ] || { echo "plot_benchmark.sh: no $lib (build the project first)" >&2; exit 2; }

"$root/scripts/install-deps.sh" libbenchmark-dev

out="$build/plot_benchmark"
# shellcheck disable=SC2046  # pkg-config output is meant to split into words
c++ -std=c++17 -O2 -fPIC -I"$root/src" -o "$out" "$root/scripts/plot_benchmark.cpp" "$lib" \
    $(pkg-config --cflags --libs benchmark Qt6Gui Qt6Svg htslib) -lisal -lpthread
"$out" "$@"
