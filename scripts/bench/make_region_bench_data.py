#!/usr/bin/env python3
"""Data of the regional plot benchmark (scripts/bench/region_benchmark.sh), written to standard output:

    make_region_bench_data.py panel SAMPLES REGION.tsv...   a VCF panel of SAMPLES samples with a site at every
        position of the regions' data tables (blocks of 40 sites copied from 4 founder haplotypes, 2 % of calls
        changed, some missing), chromosomes named as in the tables
    make_region_bench_data.py gtf GENES                     a GENCODE-like GTF of GENES genes over chr1-22 (1 to 5
        transcripts each, with exons, CDS, UTRs and codons), sorted by chromosome and start so that it can be indexed
"""
import operator
import random
import sys

LENGTHS = [249250515, 243199368, 198022357, 191154018, 180915070, 171114837, 159138441, 146363838, 141213238,
           135534645, 135006335, 133851749, 115169617, 107349349, 102531114, 90354568, 81194964, 78077093,
           59128768, 63025509, 48129875, 51304415]


def panel(samples, files):
    rnd = random.Random(11)
    sites = set()
    for f in files:
        with open(f) as lines:
            next(lines)
            for line in lines:
                chrom, pos = line.split("\t")[:2]
                sites.add((int(chrom), int(pos)))
    w = sys.stdout.write
    w("##fileformat=VCFv4.2\n")
    for c in sorted({c for c, _ in sites}):
        w(f"##contig=<ID={c},length={LENGTHS[c - 1]}>\n")
    w('##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">\n')
    w("#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\t" + "\t".join(f"S{i}" for i in range(samples)) + "\n")
    sites = sorted(sites)
    for b in range(0, len(sites), 40):
        founders = [[rnd.randrange(2) for _ in range(40)] for _ in range(4)]
        pick = operator.itemgetter(*[rnd.randrange(16) for _ in range(samples)])  # the two founders of each sample
        for k, (c, p) in enumerate(sites[b:b + 40]):
            calls = list(pick([f"{founders[x // 4][k]}|{founders[x % 4][k]}" for x in range(16)]))
            for _ in range(samples // 25):
                calls[rnd.randrange(samples)] = rnd.choice(["./.", "0|1", "1|0", "0|0", "1|1"])
            w(f"{c}\t{p}\t.\tA\tG\t.\tPASS\t.\tGT\t" + "\t".join(calls) + "\n")


def gtf(genes):
    rnd = random.Random(5)
    sys.stdout.write("##description: generated\n##format: gtf\n")
    total, g = sum(LENGTHS), 0
    for c, length in enumerate(LENGTHS, 1):
        lines = []  # (start, line) of the chromosome, written sorted by start (a stable sort keeps the file's order)

        def w(line):
            lines.append((int(line.split("\t", 4)[3]), line))
        for s in sorted(rnd.randrange(1, length - 200000) for _ in range(round(genes * length / total))):
            g += 1
            e = s + rnd.randrange(1000, 120000)
            strand = "+-"[g % 2]
            kind = "protein_coding" if g % 3 else rnd.choice(["lncRNA", "processed_pseudogene", "misc_RNA"])
            ga = f'gene_id "ENSG{g:011d}.1"; gene_type "{kind}"; gene_name "GENE{g}"; level 2;'
            w(f"chr{c}\tHAVANA\tgene\t{s}\t{e}\t.\t{strand}\t.\t{ga}\n")
            for t in range(rnd.randrange(1, 6)):
                tags = ' tag "basic"; tag "Ensembl_canonical";' if t == 0 else ' tag "basic";'
                ta = ga + f' transcript_id "ENST{g:09d}{t:02d}.1"; transcript_type "{kind}";{tags}'
                w(f"chr{c}\tHAVANA\ttranscript\t{s}\t{e}\t.\t{strand}\t.\t{ta}\n")
                xs = sorted(rnd.sample(range(s, e - 300), rnd.randrange(2, 12)))
                for i, x in enumerate(xs):
                    xa = ta + f' exon_number {i + 1}; exon_id "ENSE{g:09d}{t}{i:02d}.1";'
                    w(f"chr{c}\tHAVANA\texon\t{x}\t{x + 150}\t.\t{strand}\t.\t{xa}\n")
                    if kind == "protein_coding":
                        w(f"chr{c}\tHAVANA\tCDS\t{x + 10}\t{x + 140}\t.\t{strand}\t0\t{xa}\n")
                if kind == "protein_coding":
                    w(f"chr{c}\tHAVANA\tstart_codon\t{xs[0] + 10}\t{xs[0] + 12}\t.\t{strand}\t0\t{ta}\n")
                    w(f"chr{c}\tHAVANA\tstop_codon\t{xs[-1] + 138}\t{xs[-1] + 140}\t.\t{strand}\t0\t{ta}\n")
                    w(f"chr{c}\tHAVANA\tUTR\t{xs[0]}\t{xs[0] + 9}\t.\t{strand}\t.\t{ta}\n")
                    w(f"chr{c}\tHAVANA\tUTR\t{xs[-1] + 141}\t{xs[-1] + 150}\t.\t{strand}\t.\t{ta}\n")
        lines.sort(key=operator.itemgetter(0))
        sys.stdout.writelines(line for _, line in lines)


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[1] == "panel":
        panel(int(sys.argv[2]), sys.argv[3:])
    elif len(sys.argv) == 3 and sys.argv[1] == "gtf":
        gtf(int(sys.argv[2]))
    else:
        sys.exit(__doc__)
