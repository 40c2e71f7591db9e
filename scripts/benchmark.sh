#!/usr/bin/env bash
# Times a whole Vennrick run on large generated tables against `wc -l` on the same file.
#
#   scripts/benchmark.sh [--tool PATH] [--rounds N] [--tables LIST]
#
#   --tool PATH    the binary to time (default: build/vennrick of this project)
#   --rounds N     timed runs of each command on each table (default 5)
#   --tables LIST  comma-separated subset of 1M,10M,10M.bgz,10M.gz (default: all four)
#   BENCH_DIR      where the tables are cached and the outputs go (default /tmp/vennrick-bench)
#
# The tables are made once by scripts/make_example_table.cpp (chromosomes 1-22, deterministic): 1 M and
# 10 M rows, and the 10 M table compressed with bgzip and with gzip. They are remade only when the
# generator's source changes. All tables are read once before timing so that they sit in the page cache:
# the per-line work, not the disk, is what is measured. The rounds are interleaved (round 1 of every command
# on every table, then round 2, ...) so that a slow patch of the machine hits all of them alike.
#
# Reported per table: the median wall time of the tool and of `wc -l`, their ratio, the tool's largest peak
# resident memory (MB = 10^6 bytes) and its exit status; for the compressed tables also the ratio of the
# tool's time to its time on the plain 10 M table. A run that fails is reported, never fatal to the script.
set -euo pipefail
export LC_ALL=C  # '.' as the decimal point in EPOCHREALTIME, awk and printf

root=$(cd "$(dirname "$0")/.." && pwd)
tool="$root/build/vennrick"
rounds=5
tables="1M,10M,10M.bgz,10M.gz"
bench_dir=${BENCH_DIR:-/tmp/vennrick-bench}

usage() { sed -n '4,9p' "$0" | sed 's/^# \{0,1\}//'; }
while [ $# -gt 0 ]; do
    case "$1" in
        --tool) [ $# -ge 2 ] || { usage >&2; exit 2; }; tool=$2; shift 2 ;;
        --rounds) [ $# -ge 2 ] || { usage >&2; exit 2; }; rounds=$2; shift 2 ;;
        --tables) [ $# -ge 2 ] || { usage >&2; exit 2; }; tables=$2; shift 2 ;;
        -h|--help) usage; exit 0 ;;
        *) echo "benchmark.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
    esac
done
case "$rounds" in ''|*[!0-9]*|0) echo "benchmark.sh: --rounds needs a positive number" >&2; exit 2 ;; esac
IFS=, read -r -a selected <<<"$tables"
for t in "${selected[@]}"; do
    case "$t" in 1M|10M|10M.bgz|10M.gz) ;; *) echo "benchmark.sh: unknown table '$t'" >&2; exit 2 ;; esac
done
case "$tool" in /*) ;; *) tool="$(pwd)/$tool" ;; esac
if [ ! -x "$tool" ]; then
    echo "benchmark.sh: no executable tool at $tool (build it first, or give --tool)" >&2
    exit 2
fi
wants() { local t; for t in "${selected[@]}"; do [ "$t" = "$1" ] && return 0; done; return 1; }

# --- Debian packages: GNU time for the peak memory, bgzip (package tabix) for the block-compressed table.
"$root/scripts/install-deps.sh" time tabix

# --- The tables, cached and stamped with the generator's source.
mkdir -p "$bench_dir/out"
generator_src="$root/scripts/make_example_table.cpp"
stamp=$(sha256sum "$generator_src" | cut -d' ' -f1)
if [ "$(cat "$bench_dir/generator.sha256" 2>/dev/null)" != "$stamp" ]; then
    echo "Building the table generator (its source changed or no tables are cached yet)" >&2
    rm -f "$bench_dir"/table-* "$bench_dir/generator.sha256"
    c++ -std=c++17 -O2 -o "$bench_dir/make_example_table" "$generator_src"
    echo "$stamp" >"$bench_dir/generator.sha256"
fi
table_path() {
    case "$1" in
        1M) echo "$bench_dir/table-1M.tsv" ;;
        10M) echo "$bench_dir/table-10M.tsv" ;;
        10M.bgz) echo "$bench_dir/table-10M.tsv.bgz" ;;
        10M.gz) echo "$bench_dir/table-10M.tsv.gz" ;;
    esac
}
# Each table is written under a temporary name and renamed when complete, so an interrupted run never
# leaves a truncated table in the cache.
make_table() {
    local name=$1 path tmp
    path=$(table_path "$name")
    [ -s "$path" ] && return 0
    tmp="$path.partial"
    echo "Making $path" >&2
    case "$name" in
        1M) "$bench_dir/make_example_table" --rows 1000000 --autosomes --out "$tmp" ;;
        10M) "$bench_dir/make_example_table" --rows 10000000 --autosomes --out "$tmp" ;;
        10M.bgz) make_table 10M; bgzip -@ "$(nproc)" -c "$(table_path 10M)" >"$tmp" ;;
        10M.gz) make_table 10M; gzip -6 -c "$(table_path 10M)" >"$tmp" ;;
    esac
    mv "$tmp" "$path"
}
for t in "${selected[@]}"; do make_table "$t"; done

# --- Warm-up: every table into the page cache, and one untimed run to load the tool and its libraries.
for t in "${selected[@]}"; do cat "$(table_path "$t")" >/dev/null; done
"$tool" -M manhattan -file "$(table_path "${selected[0]}")" -column 4 -idcolumn 2 -poscolumn 3 -header yes \
    -out "$bench_dir/out/warmup.out" >/dev/null 2>&1 || true

# --- Timed runs. Wall time comes from bash's microsecond clock around the command (GNU time's %e has only
# two decimals, too coarse for `wc -l`); the peak resident memory (KiB) from GNU time's %M.
results="$bench_dir/results-$(date +%Y%m%d-%H%M%S).tsv"
printf 'table\tcommand\tround\tseconds\tpeak_kib\tstatus\n' >"$results"
timefile="$bench_dir/out/time.txt"
to_micros() { local s=${1/./}; echo $((10#$s)); }
run_timed() {  # table command round -- argv...
    local table=$1 command=$2 round=$3 start end status=0 kib
    shift 4
    local log="$bench_dir/out/$table.$command"
    rm -f "$bench_dir/out/$table.out" "$bench_dir/out/$table.out.jpg"  # no stale output from an earlier run
    start=$EPOCHREALTIME
    /usr/bin/time -o "$timefile" -f '%e %M' "$@" >"$log.stdout" 2>"$log.stderr" || status=$?
    end=$EPOCHREALTIME
    kib=$(tail -n 1 "$timefile" | awk '{print $2}')
    printf '%s\t%s\t%d\t%s\t%s\t%d\n' "$table" "$command" "$round" \
        "$(awk -v us=$(($(to_micros "$end") - $(to_micros "$start"))) 'BEGIN{printf "%.6f", us / 1e6}')" \
        "${kib:-0}" "$status" >>"$results"
}
echo "Timing ${#selected[@]} table(s), $rounds round(s): tool $tool" >&2
for ((round = 1; round <= rounds; round++)); do
    for t in "${selected[@]}"; do
        path=$(table_path "$t")
        run_timed "$t" wc "$round" -- wc -l "$path"
        run_timed "$t" tool "$round" -- "$tool" -M manhattan -file "$path" -column 4 -idcolumn 2 -poscolumn 3 \
            -header yes -out "$bench_dir/out/$t.out"
    done
    echo "  round $round of $rounds done" >&2
done

# --- Report.
describe_tool() {
    local rev
    rev=$(git -C "$root" describe --always --dirty 2>/dev/null || echo "unknown")
    echo "tool: $tool (source $rev)"
}
{
    echo "Vennrick benchmark, $(date '+%Y-%m-%d %H:%M'), $rounds interleaved round(s), tables in the page cache"
    describe_tool
    echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores," \
        "$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
    echo
    for t in "${selected[@]}"; do
        printf '%s\t%s\n' "$t" "$(stat -c %s "$(table_path "$t")")"
    done | awk -F'\t' -v results="$results" -v plain10="10M" '
        function median(list, n,   i, j, tmp, a) {
            n = split(list, a, " ")
            for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; j--) {
                tmp = a[j]; a[j] = a[j - 1]; a[j - 1] = tmp
            }
            return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        BEGIN {
            while ((getline line < results) > 0) {
                split(line, f, "\t")
                if (f[1] == "table") continue
                key = f[1] SUBSEP f[2]
                times[key] = times[key] " " f[4]
                if (f[2] == "tool") {
                    if (f[5] + 0 > peak[f[1]]) peak[f[1]] = f[5] + 0
                    runs[f[1]]++
                    if (f[6] != 0) { failed[f[1]]++; lastfail[f[1]] = f[6] }
                }
            }
            if ((plain10 SUBSEP "tool") in times) plainMedian = median(times[plain10 SUBSEP "tool"])
            printf "%-8s %10s | %10s %10s %8s %10s | %10s | %s\n", "table", "size", "tool", "wc -l", \
                "tool/wc", "peak RSS", "vs 10M", "tool exit status"
        }
        {
            t = $1; size = $2
            tool = median(times[t SUBSEP "tool"]); wc = median(times[t SUBSEP "wc"])
            vs = "-"
            if (t != plain10 && t ~ /^10M/ && plainMedian > 0) vs = sprintf("%.2fx", tool / plainMedian)
            status = failed[t] ? sprintf("%d in %d of %d runs", lastfail[t], failed[t], runs[t]) : "0"
            printf "%-8s %7.1f MB | %8.3f s %8.3f s %7.1fx %7.1f MB | %10s | %s\n", t, size / 1e6, tool, wc, \
                (wc > 0 ? tool / wc : 0), peak[t] * 1024 / 1e6, vs, status
        }'
    echo
    echo "tool, wc -l: median wall time; tool/wc: their ratio; peak RSS: largest over the tool's runs;"
    echo "vs 10M: the tool's median on this table over its median on the plain 10M table."
    echo "(On a compressed table, wc -l counts the line ends among the compressed bytes: a read-speed baseline.)"
    all_succeeded() {
        local t
        for t; do
            awk -F'\t' -v t="$t" '$1 == t && $2 == "tool" && $6 != 0 {failed = 1} END {exit failed}' "$results" ||
                return 1
        done
    }
    # Identical content must give identical hits, whatever the compression.
    if wants 10M; then
        for t in 10M.bgz 10M.gz; do
            wants "$t" || continue
            if ! all_succeeded 10M "$t"; then
                echo "hit file of $t: not compared with that of 10M (a run failed)"
            elif cmp -s "$bench_dir/out/10M.out" "$bench_dir/out/$t.out"; then
                echo "hit file of $t: identical to that of 10M"
            else
                echo "hit file of $t: DIFFERS from that of 10M"
            fi
        done
    fi
    for t in "${selected[@]}"; do
        if ! all_succeeded "$t"; then
            echo "last output of the tool on $t (exit status not 0):"
            tail -n 3 "$bench_dir/out/$t.tool.stdout" | sed 's/^/  stdout: /'
            tail -n 3 "$bench_dir/out/$t.tool.stderr" | sed 's/^/  stderr: /'
        fi
    done
    echo "raw figures: $results"
} | tee "${results%.tsv}.txt"
