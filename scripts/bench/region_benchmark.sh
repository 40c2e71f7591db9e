#!/usr/bin/env bash
# Times the whole run on the 10 M row table without regional plots and with -regions leads -regionsmax 20, r2 from
# a generated panel of 2,504 samples (-ldref, a site at every row of the regions) and genes from a generated
# GENCODE-sized GTF (60,000 genes, 0.7 GB of text, bgzip, sorted), read through its tabix index and read whole (the
# same file under a name without an index), interleaved; reports the medians and what the regional plots add. Then
# r2 alone for one window of 10,000 rows from a panel with a site at every row (scripts/bench/r2_benchmark.cpp), on
# one thread and on the run's threads. The panels and the GTF are made once in BENCH_DIR (a few minutes).
#
#   scripts/bench/region_benchmark.sh [--tool PATH] [--rounds N]    (the options: scripts/bench/bench_runs.sh)
source "$(dirname "$0")/bench_runs.sh"
bench_init "$@"
"$root/scripts/install-deps.sh" tabix python3
data="$root/scripts/bench/make_region_bench_data.py"
panel="$bench_dir/panel-2504.vcf.gz" genes="$bench_dir/genes-60k.sorted.gtf.gz"
unindexed="$bench_dir/genes-60k.unindexed.gtf.gz"  # the same file, without an index beside it
if [ ! -s "$panel.tbi" ]; then
    rm -f "$bench_dir"/out/windows.region.*
    bench_run 0 windows -out "$bench_dir/out/windows" -regions leads -regionsmax 20
    python3 "$data" panel 2504 "$bench_dir"/out/windows.region.*.tsv | bgzip >"$panel"
    tabix -f -p vcf "$panel"
fi
if [ ! -s "$genes.tbi" ]; then
    python3 "$data" gtf 60000 | bgzip >"$genes.partial" && mv "$genes.partial" "$genes"
    tabix -f -p gff "$genes"
fi
ln -sf "$(basename "$genes")" "$unindexed"
# A window of 10,000 rows of chromosome 1, and a panel with a site at each of them.
window=1:20000000-22900000 panel10k="$bench_dir/panel-2504-10k.vcf.gz"
window10k=$bench_dir/out/window10k.region.${window//[:-]/_}.tsv  # the window's data table
[ -s "$window10k" ] || bench_run 0 window10k -out "$bench_dir/out/window10k" -region "$window"
if [ ! -s "$panel10k.tbi" ]; then
    python3 "$data" panel 2504 "$window10k" | bgzip >"$panel10k"
    tabix -f -p vcf "$panel10k"
fi

regions=(-regions leads -regionsmax 20 -ldref "$panel")
for ((round = 0; round <= rounds; round++)); do  # round 0 warms up and is not counted
    bench_run "$round" plain -out "$bench_dir/out/plain"
    bench_run "$round" indexed -out "$bench_dir/out/indexed" "${regions[@]}" -genes "$genes"
    bench_run "$round" whole -out "$bench_dir/out/whole" "${regions[@]}" -genes "$unindexed"
done
t_no=$(bench_median plain 2); c_no=$(bench_median plain 4)
echo "10 M rows, $rounds interleaved rounds, medians:"
echo "  without regions:                  wall $t_no s, processor $c_no s"
for variant in indexed whole; do
    t_yes=$(bench_median $variant 2); c_yes=$(bench_median $variant 4)
    label="with $(ls "$bench_dir"/out/$variant.region.*.tsv | wc -l) regions, -genes $variant:"
    printf '  %-34s wall %s s, processor %s s\n' "$label" "$t_yes" "$c_yes"
    awk -v a="$t_yes" -v b="$t_no" -v c="$c_yes" -v d="$c_no" \
        'BEGIN {printf "    added by the regions:           wall %.3f s, processor %.3f s\n", a - b, c - d}'
done
# r2 alone, by the project's r2_benchmark (built from this source, whatever --tool is).
cmake --build "$root/build" --target r2_benchmark >/dev/null
"$root/build/r2_benchmark" "$panel10k" "$window10k" "$rounds"
