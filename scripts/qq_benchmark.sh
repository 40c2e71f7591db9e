#!/usr/bin/env bash
# Times the whole run on the 10 M row table with and without -qq yes, interleaved, and reports the median wall
# time, the median processor time (user + system, less sensitive to other work on the machine) and the median
# peak resident memory of each, and their ratios.
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
        /usr/bin/time -o "$bench_dir/out/qq-time.txt" -f "%e %M %U %S" "$tool" -M manhattan -file "$table" -column 4 \
            -idcolumn 2 -poscolumn 3 -header yes -out "$bench_dir/out/qq-$qq.out" "${extra[@]}" >/dev/null
        [ "$round" -gt 0 ] && awk -v q="$qq" '{print q, $1, $2, $3 + $4}' "$bench_dir/out/qq-time.txt" >>"$times"
    done
done
median() { grep "^$1 " "$times" | awk -v f="$2" '{print $f}' | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
t_no=$(median no 2); t_yes=$(median yes 2); m_no=$(median no 3); m_yes=$(median yes 3)
c_no=$(median no 4); c_yes=$(median yes 4)
echo "10 M rows, $rounds interleaved rounds, medians:"
echo "  without -qq:  wall $t_no s, processor $c_no s, peak $m_no KiB"
echo "  with -qq yes: wall $t_yes s, processor $c_yes s, peak $m_yes KiB"
awk -v a="$t_yes" -v b="$t_no" -v c="$c_yes" -v d="$c_no" -v e="$m_yes" -v f="$m_no" \
    'BEGIN {printf "  ratios: wall %.3f, processor %.3f, peak memory %.3f\n", a / b, c / d, e / f}'
