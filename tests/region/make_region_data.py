#!/usr/bin/env python3
"""Generates the data of the regional plot tests in a folder: a reference panel with known linkage blocks
(panel.vcf, contig chr7: missing calls, haploid calls and multi-allelic sites among diploid calls), the same panel
with its multi-allelic sites split into one record per ALT allele (panel.split.vcf, for an independent r2), an
association table on chromosome 7 whose p-values follow the blocks (table.tsv: CHR POS SNP A1 A2 P), and a dense
gene annotation (genes.gtf) over the same window.

    make_region_data.py FOLDER [--samples N] [--sites N] [--seed S] [--genes N]
"""
import argparse
import os
import random


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("folder")
    ap.add_argument("--samples", type=int, default=300)
    ap.add_argument("--sites", type=int, default=400)
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--genes", type=int, default=120)
    ap.add_argument("--start", type=int, default=1_000_000)
    ap.add_argument("--step", type=int, default=1000)
    ap.add_argument("--no-haploid", action="store_true")
    a = ap.parse_args()
    rnd = random.Random(a.seed)
    os.makedirs(a.folder, exist_ok=True)
    n, m = a.samples, a.sites
    # Blocks of 40 sites; each block has 4 founder haplotypes; a sample's haplotype copies one founder per block,
    # with one allele in 50 flipped.
    block = 40
    bases = "ACGT"
    sites = []
    for i in range(m):
        pos = a.start + i * a.step
        ref = bases[i % 4]
        alts = [bases[(i + 1) % 4]]
        if i % 53 == 17:  # multi-allelic
            alts.append(bases[(i + 2) % 4])
        sites.append((pos, ref, alts))
    founders = {}
    for b in range(0, m, block):
        founders[b] = [[rnd.randrange(2) for _ in range(block)] for _ in range(4)]
    haps = []  # haps[sample][copy][site]: allele index
    for s in range(n):
        pair = []
        for c in range(2):
            h = []
            for b in range(0, m, block):
                f = founders[b][rnd.randrange(4)]
                for k in range(min(block, m - b)):
                    allele = f[k]
                    if rnd.random() < 0.02:
                        allele = 1 - allele
                    i = b + k
                    if allele == 1 and len(sites[i][2]) == 2 and rnd.random() < 0.4:
                        allele = 2
                    h.append(allele)
            pair.append(h)
        haps.append(pair)
    calls = []  # calls[site][sample]: text
    for i in range(m):
        row = []
        for s in range(n):
            r = rnd.random()
            x, y = haps[s][0][i], haps[s][1][i]
            if r < 0.03:
                row.append("./.")
            elif not a.no_haploid and s % 25 == 3:
                row.append(str(x))  # a haploid call
            elif r < 0.5:
                row.append(f"{x}|{y}")
            else:
                row.append(f"{min(x, y)}/{max(x, y)}")
        calls.append(row)

    def header(f):
        f.write("##fileformat=VCFv4.2\n##contig=<ID=chr7,length=159345973>\n")
        f.write('##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">\n')
        f.write('##FILTER=<ID=LowQual,Description="Low quality">\n')
        f.write("#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\t" + "\t".join(f"S{s}" for s in range(n)) + "\n")

    with open(os.path.join(a.folder, "panel.vcf"), "w") as f:
        header(f)
        for i, (pos, ref, alts) in enumerate(sites):
            filt = "LowQual" if i % 11 == 5 else "PASS"
            f.write(f"chr7\t{pos}\tv{i}\t{ref}\t{','.join(alts)}\t50\t{filt}\t.\tGT\t" + "\t".join(calls[i]) + "\n")
    # The split panel: one record per ALT allele, counting that allele (the others as REF); a haploid call as a
    # homozygous one.
    with open(os.path.join(a.folder, "panel.split.vcf"), "w") as f:
        header(f)
        for i, (pos, ref, alts) in enumerate(sites):
            for k, alt in enumerate(alts, start=1):
                out = []
                for c in calls[i]:
                    if c == "./.":
                        out.append("./.")
                        continue
                    al = [int(t) for t in c.replace("|", "/").split("/")]
                    if len(al) == 1:
                        al = al * 2
                    out.append("/".join("1" if t == k else "0" for t in al))
                ident = f"v{i}" if k == 1 else f"v{i}_{k}"
                f.write(f"chr7\t{pos}\t{ident}\t{ref}\t{alt}\t50\tPASS\t.\tGT\t" + "\t".join(out) + "\n")
    # The table: every site (the multi-allelic ones as their second ALT), and some sites the panel lacks.
    with open(os.path.join(a.folder, "table.tsv"), "w") as f:
        f.write("CHR\tPOS\tSNP\tA1\tA2\tP\n")
        lead_block = (m // block // 2) * block
        for i, (pos, ref, alts) in enumerate(sites):
            alt = alts[-1]
            ident = f"v{i}" if len(alts) == 1 else f"v{i}_2"
            in_lead = lead_block <= i < lead_block + block
            p = 10 ** -(rnd.uniform(6, 12) if in_lead else rnd.uniform(0, 3))
            if i == lead_block + block // 2:
                p = 1e-30
            f.write(f"7\t{pos}\t{ident}\t{alt}\t{ref}\t{p:.3e}\n")
            if i % 37 == 0:
                f.write(f"7\t{pos + 1}\tnovel{i}\tA\tG\t{10 ** -rnd.uniform(0, 2):.3e}\n")
    # Genes: dense, overlapping, on both strands, with exons of two transcripts (one canonical).
    with open(os.path.join(a.folder, "genes.gtf"), "w") as f:
        span = m * a.step
        for g in range(a.genes):
            s0 = a.start + rnd.randrange(-span // 10, span)
            length = rnd.randrange(500, span // 3)
            e0 = s0 + length
            strand = "+-"[g % 2]
            gtype = "protein_coding" if g % 5 else "lncRNA"
            name = f"GENE{g}" + ("LONGNAME" * (g % 3))
            gid = f"ENSG{g:05d}"
            attrs = f'gene_id "{gid}"; gene_type "{gtype}"; gene_name "{name}";'
            f.write(f"chr7\tgen\tgene\t{s0}\t{e0}\t.\t{strand}\t.\t{attrs}\n")
            for t in range(2):
                tid = f"ENST{g:05d}{t}"
                tag = ' tag "Ensembl_canonical";' if t == 1 else ""
                f.write(f'chr7\tgen\ttranscript\t{s0}\t{e0}\t.\t{strand}\t.\t{attrs} transcript_id "{tid}";{tag}\n')
                exons = sorted(rnd.sample(range(s0, e0 - 100), k=min(4 + t, max(1, (e0 - s0) // 200))))
                for x in exons:
                    f.write(f'chr7\tgen\texon\t{x}\t{x + 80}\t.\t{strand}\t.\t{attrs} transcript_id "{tid}";{tag}\n')


if __name__ == "__main__":
    main()
