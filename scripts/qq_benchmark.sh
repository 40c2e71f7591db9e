#!/usr/bin/env bash
# Times the whole run on the 10 M row table with and without -qq yes, interleaved, and reports the median wall
# time and the median peak resident memory of each, and their ratios.
#
#   scripts/qq_benchmark.sh [--tool PATH] [--rounds N]
#
#   --tool PATH    the binary to time (default: build/vennrick of this project)
#   --rounds N     timed runs of each variant (default 11)
#   BENCH_DIR      where the tables are cached and the outputs go (default /tmp/vennrick-bench)
#
# The table is the one scripts/benchmark.sh makes (table-10M.tsv); it is made here with the project's
# generator when it is missing, and read once so that it sits in the page cache.
set -euo pipefail
export LC_ALL=C

root=$(cd "$(dirname "$0")/.." && pwd)
tool="$root/build/vennrick"
rounds=11
bench_dir=${BENCH_DIR:-/tmp/vennrick-bench}
while [ $# -gt 0 ]; do
    case "$1" in
        --tool) tool=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        *) sed -n '5,9p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
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

times="$bench_dir/out/qq-times.txt"
: >"$times"
for ((round = 0; round <= rounds; round++)); do  # round 0 warms up and is not counted
    for qq in no yes; do
        extra=()
        [ "$qq" = yes ] && extra=(-qq yes)
        /usr/bin/time -o "$bench_dir/out/qq-time.txt" -f "%e %M" "$tool" -M manhattan -file "$table" -column 4 \
            -idcolumn 2 -poscolumn 3 -header yes -out "$bench_dir/out/qq-$qq.out" "${extra[@]}" >/dev/null
        [ "$round" -gt 0 ] && echo "$qq $(cat "$bench_dir/out/qq-time.txt")" >>"$times"
    done
done
median() { grep "^$1 " "$times" | awk -v f="$2" '{print $f}' | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
t_no=$(median no 2); t_yes=$(median yes 2); m_no=$(median no 3); m_yes=$(median yes 3)
echo "10 M rows, $rounds interleaved rounds: without -qq $t_no s, $m_no KiB; with -qq yes $t_yes s, $m_yes KiB"
awk -v a="$t_yes" -v b="$t_no" -v c="$m_yes" -v d="$m_no" \
    'BEGIN {printf "time ratio %.3f, peak memory ratio %.3f (medians)\n", a / b, c / d}'
