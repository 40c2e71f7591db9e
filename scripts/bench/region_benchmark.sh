#!/usr/bin/env bash
# Times the whole run on the 10 M row table without regional plots and with -regions leads -regionsmax 20, r2 from
# a generated panel of 2,504 samples (-ldref, a site at every row of the regions) and genes from a generated
# GENCODE-sized GTF (60,000 genes, 1 GB of text, bgzip), interleaved; reports the medians and what the regional
# plots add. The panel and the GTF are made once in BENCH_DIR (a few minutes).
#
#   scripts/bench/region_benchmark.sh [--tool PATH] [--rounds N]    (the options: scripts/bench/bench_runs.sh)
source "$(dirname "$0")/bench_runs.sh"
bench_init "$@"
"$root/scripts/install-deps.sh" tabix python3
data="$root/scripts/bench/make_region_bench_data.py"
panel="$bench_dir/panel-2504.vcf.gz" genes="$bench_dir/genes-60k.gtf.gz"
if [ ! -s "$panel.tbi" ]; then
    rm -f "$bench_dir"/out/windows.region.*
    bench_run 0 windows -out "$bench_dir/out/windows" -regions leads -regionsmax 20
    python3 "$data" panel 2504 "$bench_dir"/out/windows.region.*.tsv | bgzip >"$panel"
    tabix -f -p vcf "$panel"
fi
[ -s "$genes" ] || { python3 "$data" gtf 60000 | bgzip >"$genes.partial" && mv "$genes.partial" "$genes"; }

regions=(-regions leads -regionsmax 20 -ldref "$panel" -genes "$genes")
for ((round = 0; round <= rounds; round++)); do  # round 0 warms up and is not counted
    bench_run "$round" plain -out "$bench_dir/out/plain"
    bench_run "$round" regions -out "$bench_dir/out/regions" "${regions[@]}"
done
t_no=$(bench_median plain 2); t_yes=$(bench_median regions 2); c_no=$(bench_median plain 4); c_yes=$(bench_median regions 4)
echo "10 M rows, $rounds interleaved rounds, medians:"
echo "  without regions:                  wall $t_no s, processor $c_no s"
echo "  with $(ls "$bench_dir"/out/regions.region.*.tsv | wc -l) regions (-ldref, -genes): wall $t_yes s, processor $c_yes s"
awk -v a="$t_yes" -v b="$t_no" -v c="$c_yes" -v d="$c_no" \
    'BEGIN {printf "  added by the regions: wall %.3f s, processor %.3f s\n", a - b, c - d}'
