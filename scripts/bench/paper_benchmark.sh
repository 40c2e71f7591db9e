#!/usr/bin/env bash
# Times whole runs on the 10 M row table in the classic style (the default JPEG) and in the paper style as PNG,
# PDF and SVG at 2400 x 1600 pixels, interleaved, and reports each variant's median wall time, processor time
# (user + system) and peak resident memory, its wall time against the classic run's, and its image file's size.
#
#   [DPI=N] scripts/bench/paper_benchmark.sh [--tool PATH] [--rounds N]    (the options: scripts/bench/bench_runs.sh)
#
#   DPI            the paper figures' resolution (default 96; 288 draws them three times as sharp)
source "$(dirname "$0")/bench_runs.sh"
bench_init "$@"
dpi=${DPI:-96}

variants=(classic png pdf svg)
for ((round = 0; round <= rounds; round++)); do  # round 0 warms up and is not counted
    for variant in "${variants[@]}"; do
        extra=()
        [ "$variant" = classic ] || extra=(-style paper -image "$variant" -size 2400x1600 -dpi "$dpi")
        bench_run "$round" "$variant" -quiet yes -out "$bench_dir/out/paper-$variant" "${extra[@]}"
    done
done
echo "10 M rows, $rounds interleaved rounds, medians (paper figures at 2400 x 1600, $dpi dpi):"
for variant in "${variants[@]}"; do
    image="$bench_dir/out/paper-$variant.${variant/classic/jpg}"
    awk -v v="$variant" -v t="$(bench_median "$variant" 2)" -v c="$(bench_median "$variant" 4)" \
        -v m="$(bench_median "$variant" 3)" -v b="$(bench_median classic 2)" -v s="$(stat -c %s "$image")" \
        'BEGIN {printf "  %-8s wall %.2f s (%.2f x classic), processor %.2f s, peak %d KiB, image %d bytes\n", v, t, t / b, c, m, s}'
done
