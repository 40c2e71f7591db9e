#!/usr/bin/env bash
# Times whole runs on the 10 M row table in the classic style (the default JPEG) and in the paper style as PNG,
# PDF and SVG at 2400 x 1600 pixels, interleaved, and reports each variant's median wall time, processor time
# (user + system) and peak resident memory, its ratio to the classic run, and the size of its image file.
#
#   scripts/paper_benchmark.sh [--tool PATH] [--rounds N] [--dpi N]
#
#   --tool PATH    the binary to time (default: build/vennrick of this project)
#   --rounds N     timed runs of each variant (default 11)
#   --dpi N        the paper figures' resolution (default 96; 288 draws them three times as sharp)
#   BENCH_DIR      where the tables are cached and the outputs go (default /tmp/vennrick-bench)
#
# The table is the one scripts/benchmark.sh makes (table-10M.tsv); it is made here with the project's
# generator when it is missing, and read once so that it sits in the page cache.
set -euo pipefail
export LC_ALL=C

root=$(cd "$(dirname "$0")/.." && pwd)
tool="$root/build/vennrick"
rounds=11
dpi=96
bench_dir=${BENCH_DIR:-/tmp/vennrick-bench}
while [ $# -gt 0 ]; do
    case "$1" in
        --tool) tool=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        --dpi) dpi=$2; shift 2 ;;
        *) sed -n '6,11p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
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

variants=(classic png pdf svg)
times="$bench_dir/out/paper-times.txt"
: >"$times"
for ((round = 0; round <= rounds; round++)); do  # round 0 warms up and is not counted
    for variant in "${variants[@]}"; do
        extra=()
        [ "$variant" = classic ] || extra=(-style paper -image "$variant" -size 2400x1600 -dpi "$dpi")
        /usr/bin/time -o "$bench_dir/out/paper-time.txt" -f "%e %M %U %S" "$tool" -M manhattan -file "$table" \
            -column 4 -idcolumn 2 -poscolumn 3 -header yes -quiet yes -out "$bench_dir/out/paper-$variant" \
            "${extra[@]}" >/dev/null
        [ "$round" -gt 0 ] && awk -v v="$variant" '{print v, $1, $2, $3 + $4}' "$bench_dir/out/paper-time.txt" >>"$times"
    done
done
median() { grep "^$1 " "$times" | awk -v f="$2" '{print $f}' | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
echo "10 M rows, $rounds interleaved rounds, medians (paper figures at 2400 x 1600, $dpi dpi):"
base=$(median classic 2)
for variant in "${variants[@]}"; do
    image="$bench_dir/out/paper-$variant.${variant/classic/jpg}"
    awk -v v="$variant" -v t="$(median "$variant" 2)" -v c="$(median "$variant" 4)" -v m="$(median "$variant" 3)" \
        -v b="$base" -v s="$(stat -c %s "$image")" \
        'BEGIN {printf "  %-8s wall %.2f s (%.2f x classic), processor %.2f s, peak %d KiB, image %d bytes\n", v, t, t / b, c, m, s}'
done
