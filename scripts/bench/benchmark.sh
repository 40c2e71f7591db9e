#!/usr/bin/env bash
# Times a whole Vennrick run on large generated tables against `wc -l` on the same file.
#
#   scripts/bench/benchmark.sh [--tool PATH] [--baseline PATH] [--rounds N] [--tables LIST]
#
#   --tool PATH      the binary to time (default: build/vennrick of this project)
#   --baseline PATH  a second binary (an earlier build), timed in the same rounds for ratios against it
#   --rounds N       timed runs of each command on each table (default 5)
#   --tables LIST    comma-separated subset of 1M,10M,10M.bgz,10M.gz,10M.zst,10M.xz,10M.bz2 (default: the
#                    first four; the other compressions: --tables 10M,10M.zst,10M.xz,10M.bz2)
#   BENCH_DIR        where the tables are cached and the outputs go (default /tmp/vennrick-bench)
#
# The tables are made once by scripts/make_example_table.cpp (chromosomes 1-22, deterministic): 1 M and
# 10 M rows, and the 10 M table compressed with bgzip, gzip, zstd, xz (-1, in blocks) and bzip2. They are remade only when the
# generator's source changes. All tables are read once before timing so that they sit in the page cache:
# the per-line work, not the disk, is what is measured. The rounds are interleaved (round 1 of every command
# on every table, then round 2, ...) so that a slow patch of the machine hits all of them alike.
#
# Reported per table and binary: the median wall time and its ratio to that of `wc -l`, the median processor
# time (user + system), the largest peak resident memory (MB = 10^6 bytes) and the exit status; for the
# compressed tables also the ratio of the wall time to the same binary's on the plain 10 M table; with
# --baseline, the tool's median wall and processor times over the baseline's. A run that fails is reported,
# never fatal to the script.
set -euo pipefail
export LC_ALL=C  # '.' as the decimal point in EPOCHREALTIME, awk and printf

root=$(cd "$(dirname "$0")/../.." && pwd)
tool="$root/build/vennrick"
baseline=""
rounds=5
tables="1M,10M,10M.bgz,10M.gz"
bench_dir=${BENCH_DIR:-/tmp/vennrick-bench}

usage() { sed -n '4,10p' "$0" | sed 's/^# \{0,1\}//'; }
while [ $# -gt 0 ]; do
    case "$1" in
        --tool) [ $# -ge 2 ] || { usage >&2; exit 2; }; tool=$2; shift 2 ;;
        --baseline) [ $# -ge 2 ] || { usage >&2; exit 2; }; baseline=$2; shift 2 ;;
        --rounds) [ $# -ge 2 ] || { usage >&2; exit 2; }; rounds=$2; shift 2 ;;
        --tables) [ $# -ge 2 ] || { usage >&2; exit 2; }; tables=$2; shift 2 ;;
        -h|--help) usage; exit 0 ;;
        *) echo "benchmark.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
    esac
done
case "$rounds" in ''|*[!0-9]*|0) echo "benchmark.sh: --rounds needs a positive number" >&2; exit 2 ;; esac
IFS=, read -r -a selected <<<"$tables"
for t in "${selected[@]}"; do
    case "$t" in 1M|10M|10M.bgz|10M.gz|10M.zst|10M.xz|10M.bz2) ;; *) echo "benchmark.sh: unknown table '$t'" >&2; exit 2 ;; esac
done
case "$tool" in /*) ;; *) tool="$(pwd)/$tool" ;; esac
if [ ! -x "$tool" ]; then
    echo "benchmark.sh: no executable tool at $tool (build it first, or give --tool)" >&2
    exit 2
fi
binaries=(tool)  # the commands timed besides wc; "base" is the baseline
if [ -n "$baseline" ]; then
    case "$baseline" in /*) ;; *) baseline="$(pwd)/$baseline" ;; esac
    [ -x "$baseline" ] || { echo "benchmark.sh: no executable baseline at $baseline" >&2; exit 2; }
    binaries=(tool base)
fi
binary_path() { if [ "$1" = base ]; then echo "$baseline"; else echo "$tool"; fi; }
wants() { local t; for t in "${selected[@]}"; do [ "$t" = "$1" ] && return 0; done; return 1; }

# --- Debian packages: GNU time for the peak memory, bgzip (package tabix) for the block-compressed table, and
# the compressors of the other tables.
"$root/scripts/install-deps.sh" time tabix zstd xz-utils bzip2

# --- The tables, cached and stamped with the generator's source.
mkdir -p "$bench_dir/out"
# Each run writes its outputs and timings in a directory of its own, so that runs at the same time on the
# same cache do not overwrite each other's files.
out_dir=$(mktemp -d "$bench_dir/out/run-XXXXXX")
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
        10M.zst) echo "$bench_dir/table-10M.tsv.zst" ;;
        10M.xz) echo "$bench_dir/table-10M.tsv.xz" ;;
        10M.bz2) echo "$bench_dir/table-10M.tsv.bz2" ;;
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
        10M.zst) make_table 10M; zstd -q -T0 -c "$(table_path 10M)" >"$tmp" ;;
        10M.xz) make_table 10M; xz -1 -T0 -c "$(table_path 10M)" >"$tmp" ;;
        10M.bz2) make_table 10M; bzip2 -c "$(table_path 10M)" >"$tmp" ;;
    esac
    mv "$tmp" "$path"
}
for t in "${selected[@]}"; do make_table "$t"; done

# --- Warm-up: every table into the page cache, and one untimed run of each binary to load it and its libraries.
for t in "${selected[@]}"; do cat "$(table_path "$t")" >/dev/null; done
for b in "${binaries[@]}"; do
    "$(binary_path "$b")" -M manhattan -file "$(table_path "${selected[0]}")" -column 4 -idcolumn 2 -poscolumn 3 \
        -header yes -out "$out_dir/warmup.out" >/dev/null 2>&1 || true
done

# --- Timed runs. Wall time comes from bash's microsecond clock around the command (GNU time's %e has only
# two decimals, too coarse for `wc -l`); the peak resident memory (KiB) and the user and system processor
# seconds from GNU time's %M, %U and %S.
results="$bench_dir/results-$(date +%Y%m%d-%H%M%S)-$$.tsv"
printf 'table\tcommand\tround\tseconds\tpeak_kib\tstatus\tcpu_seconds\n' >"$results"
timefile="$out_dir/time.txt"
to_micros() { local s=${1/./}; echo $((10#$s)); }
run_timed() {  # table command round -- argv...
    local table=$1 command=$2 round=$3 start end status=0 kib cpu
    shift 4
    local log="$out_dir/$table.$command"
    start=$EPOCHREALTIME
    /usr/bin/time -o "$timefile" -f '%e %M %U %S' "$@" >"$log.stdout" 2>"$log.stderr" || status=$?
    end=$EPOCHREALTIME
    kib=$(tail -n 1 "$timefile" | awk '{print $2}')
    cpu=$(tail -n 1 "$timefile" | awk '{printf "%.2f", $3 + $4}')
    printf '%s\t%s\t%d\t%s\t%s\t%d\t%s\n' "$table" "$command" "$round" \
        "$(awk -v us=$(($(to_micros "$end") - $(to_micros "$start"))) 'BEGIN{printf "%.6f", us / 1e6}')" \
        "${kib:-0}" "$status" "${cpu:-0}" >>"$results"
}
echo "Timing ${#selected[@]} table(s), $rounds round(s): ${binaries[*]}" >&2
for ((round = 1; round <= rounds; round++)); do
    for t in "${selected[@]}"; do
        path=$(table_path "$t")
        run_timed "$t" wc "$round" -- wc -l "$path"
        # The binaries take turns going first, so that neither always runs right after wc.
        order=("${binaries[@]}")
        if [ ${#binaries[@]} -eq 2 ] && [ $((round % 2)) -eq 0 ]; then order=("${binaries[1]}" "${binaries[0]}"); fi
        for b in "${order[@]}"; do
            out="$out_dir/$t.$b.out"
            rm -f "$out" "$out.jpg"  # no stale output from an earlier run
            run_timed "$t" "$b" "$round" -- "$(binary_path "$b")" -M manhattan -file "$path" -column 4 -idcolumn 2 \
                -poscolumn 3 -header yes -out "$out"
        done
    done
    echo "  round $round of $rounds done" >&2
done

# --- Report.
describe() {  # label path
    local rev="" dir
    dir=$(dirname "$2")
    rev=$(git -C "$dir" describe --always --dirty 2>/dev/null || true)
    echo "$1: $2${rev:+ (source $rev)}"
}
{
    echo "Vennrick benchmark, $(date '+%Y-%m-%d %H:%M'), $rounds interleaved round(s), tables in the page cache"
    describe tool "$tool"
    [ -n "$baseline" ] && describe base "$baseline"
    echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores," \
        "$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo); load average at the end:" \
        "$(cut -d' ' -f1-3 /proc/loadavg)"
    echo
    for t in "${selected[@]}"; do
        printf '%s\t%s\n' "$t" "$(stat -c %s "$(table_path "$t")")"
    done | awk -F'\t' -v results="$results" -v plain10="10M" -v binaries="${binaries[*]}" '
        function median(list, n,   i, j, tmp, a) {
            n = split(list, a, " ")
            for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; j--) {
                tmp = a[j]; a[j] = a[j - 1]; a[j - 1] = tmp
            }
            return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        BEGIN {
            nb = split(binaries, bin, " ")
            while ((getline line < results) > 0) {
                split(line, f, "\t")
                if (f[1] == "table") continue
                key = f[1] SUBSEP f[2]
                times[key] = times[key] " " f[4]
                cpus[key] = cpus[key] " " f[7]
                if (f[2] != "wc") {
                    if (f[5] + 0 > peak[key]) peak[key] = f[5] + 0
                    runs[key]++
                    if (f[6] != 0) { failed[key]++; lastfail[key] = f[6] }
                }
            }
            printf "%-8s %-4s %10s | %9s %9s %8s %9s %10s | %7s | %s\n", "table", "", "size", "wall", "wc -l", \
                "wall/wc", "CPU", "peak RSS", "vs 10M", "exit status"
        }
        {
            t = $1; size = $2
            wc = median(times[t SUBSEP "wc"])
            for (b = 1; b <= nb; b++) {
                key = t SUBSEP bin[b]
                wall[b] = median(times[key]); cpu[b] = median(cpus[key])
                vs = "-"
                if (t != plain10 && t ~ /^10M/ && (plain10 SUBSEP bin[b]) in times)
                    vs = sprintf("%.2fx", wall[b] / median(times[plain10 SUBSEP bin[b]]))
                status = failed[key] ? sprintf("%d in %d of %d runs", lastfail[key], failed[key], runs[key]) : "0"
                printf "%-8s %-4s %7.1f MB | %7.3f s %7.3f s %7.2fx %7.2f s %7.1f MB | %7s | %s\n", t, bin[b], \
                    size / 1e6, wall[b], wc, (wc > 0 ? wall[b] / wc : 0), cpu[b], peak[key] * 1024 / 1e6, vs, status
            }
            if (nb == 2)
                printf "%-8s tool/base: wall %.2fx, CPU %.2fx, peak RSS %+.1f MB\n", t, \
                    (wall[2] > 0 ? wall[1] / wall[2] : 0), (cpu[2] > 0 ? cpu[1] / cpu[2] : 0), \
                    (peak[t SUBSEP "tool"] - peak[t SUBSEP "base"]) * 1024 / 1e6
        }'
    echo
    echo "wall, wc -l: median wall time; wall/wc: their ratio; CPU: median user + system time; peak RSS: largest"
    echo "over the binary's runs; vs 10M: its median wall time on this table over that on the plain 10M table."
    echo "(On a compressed table, wc -l counts the line ends among the compressed bytes: a read-speed baseline.)"
    all_succeeded() {  # binary tables...
        local b=$1 t
        shift
        for t; do
            awk -F'\t' -v t="$t" -v b="$b" '$1 == t && $2 == b && $6 != 0 {failed = 1} END {exit failed}' \
                "$results" || return 1
        done
    }
    # Identical content must give identical hits, whatever the compression and whichever binary.
    if wants 10M; then
        for t in 10M.bgz 10M.gz; do
            wants "$t" || continue
            if ! all_succeeded tool 10M "$t"; then
                echo "hit file of $t: not compared with that of 10M (a run failed)"
            elif cmp -s "$out_dir/10M.tool.out" "$out_dir/$t.tool.out"; then
                echo "hit file of $t: identical to that of 10M"
            else
                echo "hit file of $t: DIFFERS from that of 10M"
            fi
        done
    fi
    for t in "${selected[@]}"; do
        [ -n "$baseline" ] || break
        all_succeeded tool "$t" && all_succeeded base "$t" || continue
        for suffix in "" .jpg; do
            cmp -s "$out_dir/$t.tool.out$suffix" "$out_dir/$t.base.out$suffix" ||
                echo "$t: the tool's ${suffix:-hit file}${suffix:+ image} DIFFERS from the baseline's"
        done
    done
    for t in "${selected[@]}"; do
        for b in "${binaries[@]}"; do
            if ! all_succeeded "$b" "$t"; then
                echo "last output of $b on $t (exit status not 0):"
                tail -n 3 "$out_dir/$t.$b.stdout" | sed 's/^/  stdout: /'
                tail -n 3 "$out_dir/$t.$b.stderr" | sed 's/^/  stderr: /'
            fi
        done
    done
    echo "raw figures: $results; outputs: $out_dir"
} | tee "${results%.tsv}.txt"
