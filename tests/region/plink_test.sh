#!/bin/bash
# Regional plots end to end, against an independent r2: a generated panel with known linkage blocks (missing and
# haploid calls, multi-allelic sites, a FILTER value), its r2 with the lead from plink 1.9 on the same genotypes
# (its multi-allelic sites split per ALT allele), then the tool's r2 from the indexed panel, from plink 1.9's and
# plink 2's --r2 tables and with a sample subset; the rows of each .tsv against the table's rows of the window
# (from a file, a gzip file and standard input, across many pieces); -regions leads against the .leads loci plus
# flanks; and damaged panels, indexes and annotations, which must leave every other output in place.
#   tests/region/plink_test.sh VENNRICK
set -u
tool="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
for need in plink1.9 bgzip tabix python3 gzip; do
    command -v "$need" >/dev/null || { echo "SKIPPED: $need is not installed"; exit 0; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
run() { timeout 120 "$tool" "$@" >out.txt 2>err.txt; }

python3 "$here/make_region_data.py" small || exit 1
cd small
bgzip -k panel.vcf && tabix -p vcf panel.vcf.gz && bgzip -k panel.split.vcf || exit 1
lead=v220
plink1.9 --vcf panel.split.vcf.gz --allow-extra-chr --r2 --ld-snp $lead --ld-window-r2 0 --ld-window 100000 \
    --ld-window-kb 100000 --out plink >/dev/null 2>&1 || fail "plink1.9 --r2"

# r2 of a .tsv against a --r2 table: every variant plink has must have the same r2 to 6 digits, any other none.
compare() {  # TSV LD [what]
    python3 - "$1" "$2" "$lead" <<'PY' || fail "r2 of $1 against $2 ${3:-}"
import sys
tsv, ld, lead = sys.argv[1:]
ref = {}
for line in open(ld).read().split("\n")[1:]:
    f = line.split()
    if f: ref[f[5]] = float(f[6])
seen = 0
for line in open(tsv).read().split("\n")[1:]:
    f = line.split("\t")
    if len(f) < 7: continue
    ident, r2 = f[2], f[5]
    if ident == lead:
        assert r2 == "1", line
    elif ident in ref:
        assert r2 != "", "no r2 for " + ident
        assert abs(float(r2) - ref[ident]) <= 5e-6 * max(1, ref[ident]), (ident, r2, ref[ident])
        seen += 1
    else:
        assert r2 == "", "an r2 for " + ident + ", which plink does not have"
assert seen >= 140, seen
PY
}

window=7:1150000-1300000
tsv=o.region.7_1150000_1300000.tsv
run -M manhattan -file table.tsv -names yes -chr 7 -region $window -ldref panel.vcf.gz -genes genes.gtf -out o -image png ||
    fail "run with -ldref"
compare $tsv plink.ld "(panel)"
grep -q "r2 with $lead not found for 4 of 155 variants" err.txt || fail "count of variants without r2: $(cat err.txt)"
[ -s o.region.7_1150000_1300000.png ] || fail "no figure"

# The same r2 from plink 1.9's table, and from the same pairs in plink 2's form (tab, #CHROM_A ..., gzip).
run -M manhattan -file table.tsv -names yes -chr 7 -region $window -ld plink.ld -out l19 || fail "run with -ld (1.9)"
compare l19.region.7_1150000_1300000.tsv plink.ld "(plink 1.9 table)"
awk 'NR == 1 { print "#CHROM_A\tPOS_A\tID_A\tCHROM_B\tPOS_B\tID_B\tUNPHASED_R2"; next } { print $1 "\t" $2 "\t" $3 "\t" $4 "\t" $5 "\t" $6 "\t" $7 }' \
    plink.ld | gzip >plink2.ld.gz
run -M manhattan -file table.tsv -names yes -chr 7 -region $window -ld plink2.ld.gz -out l2 || fail "run with -ld (2)"
compare l2.region.7_1150000_1300000.tsv plink.ld "(plink 2 table)"

# A population: the samples of -ldsamples, against plink --keep.
seq 0 3 299 | sed 's/^/S/' >some.txt
awk '{ print $1 "\t" $1 }' some.txt >keep.txt
plink1.9 --vcf panel.split.vcf.gz --allow-extra-chr --keep keep.txt --r2 --ld-snp $lead --ld-window-r2 0 \
    --ld-window 100000 --ld-window-kb 100000 --out kept >/dev/null 2>&1 || fail "plink1.9 --keep"
run -M manhattan -file table.tsv -names yes -chr 7 -region $window -ldref panel.vcf.gz -ldsamples some.txt -out s ||
    fail "run with -ldsamples"
compare s.region.7_1150000_1300000.tsv kept.ld "(sample subset)"

# By position alone (no allele columns): the biallelic sites keep their r2.
cut -f 1-3,6 table.tsv >noalleles.tsv
run -M manhattan -file noalleles.tsv -names yes -chr 7 -region $window -ldref panel.vcf.gz -out n || fail "run by position"
python3 - n.region.7_1150000_1300000.tsv $tsv <<'PY' || fail "by position, the biallelic sites' r2"
import sys
a = [l.split("\t") for l in open(sys.argv[1]).read().split("\n")[1:] if l]
b = [l.split("\t") for l in open(sys.argv[2]).read().split("\n")[1:] if l]
same = sum(1 for x, y in zip(a, b) if not x[2].endswith("_2") and x[5] == y[5])
assert same >= 140, same
PY

# A lead the panel lacks: named, with the nearest panel sites; the figure and the data are still written.
awk -F'\t' 'BEGIN { OFS = "\t" } $3 == "novel185" { $6 = "1e-40" } { print }' table.tsv >novel.tsv
run -M manhattan -file novel.tsv -names yes -chr 7 -region $window -ldref panel.vcf.gz -out nv -image png
grep -q "the lead novel185 (7:1185001 A/G) is not in the panel; nearest panel sites: chr7:1185000 .* and chr7:1186000" err.txt ||
    fail "lead not in the panel: $(cat err.txt)"
[ -s nv.region.7_1150000_1300000.png ] && [ -s nv.region.7_1150000_1300000.tsv ] && [ -s nv.png ] || fail "lead not in panel: outputs"

# Damaged panel, index and annotation: warnings, and every output is still written.
head -c 30000 panel.vcf.gz >cut.vcf.gz && cp panel.vcf.gz.tbi cut.vcf.gz.tbi
run -M manhattan -file table.tsv -names yes -chr 7 -region $window -ldref cut.vcf.gz -out d1 -image png
grep -q "cut.vcf.gz': is damaged" err.txt || grep -q "cut.vcf.gz': .*cannot be read" err.txt || fail "damaged panel: $(cat err.txt)"
[ -s d1.region.7_1150000_1300000.png ] && [ -s d1.png ] && [ -s d1 ] || fail "damaged panel: outputs"
cp panel.vcf.gz bad.vcf.gz && head -c 100 /dev/urandom >bad.vcf.gz.tbi
run -M manhattan -file table.tsv -names yes -chr 7 -region $window -ldref bad.vcf.gz -out d2 -image png
grep -q "bad.vcf.gz': its index (.tbi or .csi) cannot be read" err.txt || fail "damaged index: $(cat err.txt)"
[ -s d2.region.7_1150000_1300000.png ] && [ -s d2.png ] || fail "damaged index: outputs"
gzip -c genes.gtf | head -c 5000 >cut.gtf.gz
run -M manhattan -file table.tsv -names yes -chr 7 -region $window -genes cut.gtf.gz -out d3 -image png
grep -q "cut.gtf.gz': the file is damaged" err.txt || fail "damaged annotation: $(cat err.txt)"
[ -s d3.region.7_1150000_1300000.png ] && [ -s d3.png ] || fail "damaged annotation: outputs"
grep -v '^vennrick: ' err.txt && fail "a line on standard error that is not ours"
sed 's/chr7/1/' panel.vcf >other.vcf && bgzip other.vcf && tabix -p vcf other.vcf.gz
run -M manhattan -file table.tsv -names yes -chr 7 -region $window -ldref other.vcf.gz -out d4
grep -q "other.vcf.gz': has no chromosome '7' (its chromosomes: 1)" err.txt || fail "chromosome mismatch: $(cat err.txt)"
cd ..

# Many pieces: a table of 30,000 rows; each .tsv holds exactly the table's rows of its window, read from the
# file, from gzip and from standard input, and -regions leads gives the .leads loci plus the flanks.
python3 "$here/make_region_data.py" big --sites 30000 --samples 20 --step 100 --genes 10 || exit 1
cd big
gzip -k table.tsv
flank=30000
for source in file gzip stdin; do
    case $source in
        file) run -M manhattan -file table.tsv -names yes -chr 7 -regions leads -regionsmax 5 -flank $flank -leads yes -out $source -threads 2 ;;
        gzip) run -M manhattan -file table.tsv.gz -names yes -chr 7 -regions leads -regionsmax 5 -flank $flank -leads yes -out $source -threads 2 ;;
        stdin) run -M manhattan -file - -names yes -chr 7 -regions leads -regionsmax 5 -flank $flank -leads yes -out $source -threads 2 <table.tsv ;;
    esac || fail "-regions leads from $source"
    python3 - $source.leads $source $flank <<'PY' || fail "-regions leads from $source: regions and rows"
import os, sys
leads, out, flank = sys.argv[1], sys.argv[2], int(sys.argv[3])
loci = [l.split("\t") for l in open(leads).read().split("\n")[1:] if l]
loci.sort(key=lambda f: -float(f[4]))
table = [l.split("\t") for l in open("table.tsv").read().split("\n")[1:] if l]
want = set()
for f in loci[:5]:
    chrom, start, end = f[0], max(0, int(f[5]) - flank), int(f[6]) + flank
    name = f"{out}.region.{chrom}_{start}_{end}.tsv"
    want.add(name)
    rows = [l.split("\t") for l in open(name).read().split("\n")[1:] if l]
    expect = sorted(([r[0], r[1], r[2], r[5]] for r in table if r[0] == chrom and start <= int(r[1]) <= end),
                    key=lambda r: int(r[1]))
    got = [r[:4] for r in rows]
    assert got == expect, (name, len(got), len(expect))
    assert len(got) > 100, (name, len(got))
have = {n for n in os.listdir(".") if n.startswith(out + ".region.") and n.endswith(".tsv")}
assert have == want, (have, want)
PY
done
cmp -s file.region.*.tsv stdin.region.*.tsv 2>/dev/null
for f in file.region.*.tsv; do cmp -s "$f" "stdin${f#file}" || fail "stdin and file differ: $f"; done

# -region windows: the rows of each window as read.
run -M manhattan -file table.tsv -names yes -chr 7 -region 7:1000000-1400000,chr7:2500000-2900000 -out w -threads 2 || fail "-region"
python3 - <<'PY' || fail "-region windows: rows"
table = [l.split("\t") for l in open("table.tsv").read().split("\n")[1:] if l]
for name, (start, end) in {"w.region.7_1000000_1400000.tsv": (1000000, 1400000),
                           "w.region.chr7_2500000_2900000.tsv": (2500000, 2900000)}.items():
    rows = [l.split("\t")[:4] for l in open(name).read().split("\n")[1:] if l]
    expect = sorted(([r[0], r[1], r[2], r[5]] for r in table if start <= int(r[1]) <= end), key=lambda r: int(r[1]))
    assert rows == expect, (name, len(rows), len(expect))
PY

[ $fails = 0 ] && echo "regions: every check passed" && exit 0
echo "regions: $fails checks failed"
exit 1
