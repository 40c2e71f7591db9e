#!/usr/bin/env bash
# Sourced by the whole-run benchmarks (qq_benchmark.sh, paper_benchmark.sh, region_benchmark.sh): their options,
# the 10 M row table in the page cache, timed runs of the tool on it and the medians of those runs.
#
#   --tool PATH    the binary to time (default: build/vennrick of this project)
#   --rounds N     timed runs of each variant (default 11)
#   BENCH_DIR      where the tables are cached and the outputs go (default /tmp/vennrick-bench)
#
# The table is the one scripts/bench/benchmark.sh makes (table-10M.tsv); it is made here with the project's
# generator when it is missing, and read once so that it sits in the page cache.

# Reads the options, installs what timing needs and readies the table; sets root, tool, rounds, bench_dir,
# table and times (the file of the counted runs, emptied).
bench_init() {
    set -euo pipefail
    export LC_ALL=C
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    tool="$root/build/vennrick"
    rounds=11
    bench_dir=${BENCH_DIR:-/tmp/vennrick-bench}
    while [ $# -gt 0 ]; do
        case "$1" in
            --tool) tool=$2; shift 2 ;;
            --rounds) rounds=$2; shift 2 ;;
            *) sed -n '5,7p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
        esac
    done
    "$root/scripts/install-deps.sh" time
    table="$bench_dir/table-10M.tsv"
    mkdir -p "$bench_dir/out"
    if [ ! -s "$table" ]; then
        "$root/build/make_example_table" --rows 10000000 --autosomes --out "$table.partial"
        mv "$table.partial" "$table"
    fi
    cat "$table" >/dev/null
    times="$bench_dir/out/$(basename "$0" .sh)-times.txt"
    : >"$times"
}

# bench_run ROUND NAME SWITCH...: one run of the tool on the table with the switches, recorded under NAME as
# "NAME wall-seconds peak-KiB processor-seconds" unless ROUND is 0 (a warm-up).
bench_run() {
    local round=$1 name=$2
    shift 2
    /usr/bin/time -o "$bench_dir/out/time.txt" -f "%e %M %U %S" "$tool" -M manhattan -file "$table" -column 4 \
        -idcolumn 2 -poscolumn 3 -header yes "$@" >/dev/null
    if [ "$round" -gt 0 ]; then awk -v v="$name" '{print v, $1, $2, $3 + $4}' "$bench_dir/out/time.txt" >>"$times"; fi
}

# bench_median NAME FIELD: the median of a field of NAME's runs (2 wall seconds, 3 peak KiB, 4 processor seconds).
bench_median() {
    grep "^$1 " "$times" | awk -v f="$2" '{print $f}' | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'
}
