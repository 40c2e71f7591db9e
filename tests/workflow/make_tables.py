#!/usr/bin/env python3
"""Writes small deterministic association tables in the layouts of common tools, for the workflow tests.

    make_tables.py DIR [ROWS]

DIR/plink.assoc        plink --assoc: aligned columns (runs of spaces), CHR SNP BP A1 F_A F_U A2 CHISQ P OR
DIR/regenie.regenie    regenie step 2: space-separated, LOG10P (-log10 p), inflated (lambda well above 1.1)
DIR/gzip.tsv.gz        tab-separated SNP CHR BP P, gzip
DIR/bgzip.tsv.gz       the same layout, bgzip (blocks of 64 KiB), with a chromosome X
DIR/with space/plain table.tsv   tab-separated, in a folder and file name with spaces
DIR/broken.tsv         a p-value that is not a number half way down (the run stops there)
DIR/empty.tsv          no bytes at all
"""
import gzip
import math
import os
import random
import struct
import sys
import zlib

CHROMS = [(str(c), 250_000_000 - 8_000_000 * (c - 1)) for c in range(1, 23)]


def rows(rng, n, inflation=1.0, peak=True, x=False):
    """(chrom, pos, snp, p) with uniform p (or chi-square inflated by INFLATION) and one peak on chromosome 3."""
    chroms = CHROMS + ([("X", 155_000_000)] if x else [])
    per = max(1, n // len(chroms))
    out = []
    k = 0
    for chrom, length in chroms:
        step = length // (per + 1)
        for i in range(per):
            pos = step * (i + 1)
            u = 1.0 - rng.random()  # (0, 1]
            if inflation != 1.0:
                z = math.sqrt(2) * erfcinv(u)  # |z| of a two-sided p = u
                chi = z * z * inflation
                u = math.erfc(math.sqrt(chi / 2))
            if peak and chrom == "3" and abs(i - per // 2) < 6:
                u = 10.0 ** -(9 + 3 * (6 - abs(i - per // 2)))
            out.append((chrom, pos, f"rs{100000 + k * 7}", max(u, 1e-300)))
            k += 1
    return out


def erfcinv(y):
    """Inverse of erfc on (0, 2), by bisection (plenty for test tables)."""
    lo, hi = -10.0, 10.0
    for _ in range(80):
        mid = (lo + hi) / 2
        if math.erfc(mid) > y:
            lo = mid
        else:
            hi = mid
    return (lo + hi) / 2


def tsv(rs):
    return "SNP\tCHR\tBP\tP\n" + "".join(f"{s}\t{c}\t{b}\t{p:.4g}\n" for c, b, s, p in rs)


def bgzip(data, block=65280):
    """BGZF: gzip members of at most BLOCK input bytes with the BC extra field, then the empty end block."""
    out = []
    for i in range(0, len(data), block):
        out.append(bgzf_block(data[i:i + block]))
    out.append(bgzf_block(b""))
    return b"".join(out)


def bgzf_block(data):
    c = zlib.compressobj(6, zlib.DEFLATED, -15)
    body = c.compress(data) + c.flush()
    size = len(body) + 25  # header 18 + trailer 8, minus 1
    header = b"\x1f\x8b\x08\x04\x00\x00\x00\x00\x00\xff\x06\x00BC\x02\x00" + struct.pack("<H", size)
    return header + body + struct.pack("<II", zlib.crc32(data) & 0xFFFFFFFF, len(data))


def main():
    d = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
    os.makedirs(os.path.join(d, "with space"), exist_ok=True)
    rng = random.Random(26)

    with open(os.path.join(d, "plink.assoc"), "w") as f:
        f.write(" CHR         SNP         BP   A1      F_A      F_U   A2        CHISQ            P          OR \n")
        for c, b, s, p in rows(rng, n):
            f.write(f"{c:>4} {s:>11} {b:>10} {'A':>4} {0.25:>8.4g} {0.24:>8.4g} {'G':>4} {1.0:>12.5g} "
                    f"{p:>12.4g} {1.05:>11.5g} \n")

    with open(os.path.join(d, "regenie.regenie"), "w") as f:
        f.write("CHROM GENPOS ID ALLELE0 ALLELE1 A1FREQ N TEST BETA SE CHISQ LOG10P EXTRA\n")
        for c, b, s, p in rows(rng, n, inflation=1.3):
            f.write(f"{c} {b} {s} A G 0.3 5000 ADD 0.01 0.02 1.5 {-math.log10(p):.6g} NA\n")

    with open(os.path.join(d, "gzip.tsv.gz"), "wb") as f:
        f.write(gzip.compress(tsv(rows(rng, n)).encode(), 6, mtime=0))

    with open(os.path.join(d, "bgzip.tsv.gz"), "wb") as f:
        f.write(bgzip(tsv(rows(rng, n, x=True)).encode()))

    with open(os.path.join(d, "with space", "plain table.tsv"), "w") as f:
        f.write(tsv(rows(rng, n)))

    lines = tsv(rows(rng, n)).splitlines(True)
    lines[len(lines) // 2] = "rs1\t5\t1000\tnot-a-number\n"
    with open(os.path.join(d, "broken.tsv"), "w") as f:
        f.write("".join(lines))

    open(os.path.join(d, "empty.tsv"), "w").close()


if __name__ == "__main__":
    main()
