#!/usr/bin/env bash
# Times the whole run on the 10 M row table with and without -qq yes, interleaved, and reports the median wall
# time, the median processor time (user + system, less sensitive to other work on the machine) and the median
# peak resident memory of each, and their ratios.
#
#   scripts/bench/qq_benchmark.sh [--tool PATH] [--rounds N]    (the options: scripts/bench/bench_runs.sh)
source "$(dirname "$0")/bench_runs.sh"
bench_init "$@"

for ((round = 0; round <= rounds; round++)); do  # round 0 warms up and is not counted
    for qq in no yes; do bench_run "$round" "$qq" -out "$bench_dir/out/qq-$qq.out" -qq "$qq"; done
done
t_no=$(bench_median no 2); t_yes=$(bench_median yes 2); m_no=$(bench_median no 3); m_yes=$(bench_median yes 3)
c_no=$(bench_median no 4); c_yes=$(bench_median yes 4)
echo "10 M rows, $rounds interleaved rounds, medians:"
echo "  without -qq:  wall $t_no s, processor $c_no s, peak $m_no KiB"
echo "  with -qq yes: wall $t_yes s, processor $c_yes s, peak $m_yes KiB"
awk -v a="$t_yes" -v b="$t_no" -v c="$c_yes" -v d="$c_no" -v e="$m_yes" -v f="$m_no" \
    'BEGIN {printf "  ratios: wall %.3f, processor %.3f, peak memory %.3f\n", a / b, c / d, e / f}'
