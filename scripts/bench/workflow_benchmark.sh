#!/bin/sh
# Times the workflow for many tables against the single runs it is made of:
#   scripts/bench/workflow_benchmark.sh [TABLES] [ROWS] [BUILD]     (defaults: 100 tables of 1,000,000 rows, build/)
# Generates TABLES tables of ROWS rows (make_example_table, a seed each), times each single run one after the other
# with the workflow's switches and -threads 2, then the workflow with --cores 2 and threads=2 (one table at a time,
# so that the two are comparable) and with threads=1 (two at a time). Prints the sum of the single runs, the
# workflow's wall time and the overhead per table. Needs snakemake; writes into a temporary folder it removes.
set -eu
tables=${1:-100}
rows=${2:-1000000}
build=$(cd "${3:-build}" && pwd)
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/vennrick-workflow-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tables"
printf 'name\tpath\n' >"$work/sheet.tsv"
i=1
while [ $i -le "$tables" ]; do
    name=$(printf 't%03d' $i)
    "$build/make_example_table" --rows "$rows" --seed $i --out "$work/tables/$name.tsv"
    printf '%s\ttables/%s.tsv\n' "$name" "$name" >>"$work/sheet.tsv"
    i=$((i + 1))
done
echo "tables: $tables of $rows rows, $(du -sh "$work/tables" | cut -f1) in all"
cd "$work"
# timed LOG COMMAND...: wall and processor (user + system, children included) seconds of COMMAND, as "WALL CPU";
# COMMAND's output goes to LOG
timed() {
    log=$1
    shift
    /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >"$log" 2>&1 || return 1
    awk '{ printf "%s %.2f", $1, $2 + $3 }' "$work/time"
}
mkdir -p single
# the single runs take the switches the workflow gives (-html yes too, when the binary takes it)
html=$(python3 -c "import sys; sys.path.insert(0, '$repo/workflow/scripts'); import batch; print('-html yes' if batch.has_switch('$build/vennrick', '-html') else '')")
cat >single.sh <<SH
for f in tables/*.tsv; do
    n=\$(basename "\$f" .tsv)
    "$build/vennrick" -M manhattan -file "\$f" -out "single/\$n.hits" -figuretitle "\$n" -names yes -style paper \\
        -image png -qq yes -leads yes -report json $html -threads 2 >/dev/null 2>&1
done
SH
set -- $(timed single.log sh single.sh)
single=$1 single_cpu=$2
echo "single runs one after the other (-threads 2 $html): $single s wall, $single_cpu s CPU;" \
    "$(echo "scale=3; $single / $tables" | bc) s wall a table"
for threads in 2 1; do
    rm -rf out .snakemake
    set -- $(timed "sm$threads.log" snakemake -s "$repo/workflow/Snakefile" --cores 2 --config sheet=sheet.tsv \
        outdir=out "vennrick=$build/vennrick" threads=$threads) || { tail -n 20 "sm$threads.log"; exit 1; }
    wall=$1 cpu=$2
    ok=$(awk -F'\t' 'NR > 1 && $8 == "ok"' out/summary.tsv | wc -l)
    echo "workflow --cores 2 threads=$threads: $wall s wall, $cpu s CPU ($ok of $tables ok); over the single runs:" \
        "$(echo "scale=3; ($wall - $single) / $tables" | bc) s wall and" \
        "$(echo "scale=3; ($cpu - $single_cpu) / $tables" | bc) s CPU a table"
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
