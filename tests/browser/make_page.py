#!/usr/bin/env python3
"""Makes a report page from rows without the tool, for working on the page's script and style alone.

    tests/browser/make_page.py TABLE.tsv OUT.html [--title T]

TABLE: tab-separated with a header line SNP CHR BP P. The page is filled the way the tool fills it (the template
src/page/assets/report.html with the style, the data and the script); the tool's own page is what the tests use.
"""
import base64
import json
import math
import os
import struct
import sys

ASSETS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "page", "assets")


def natural_key(name):
    n = name[3:] if name.lower().startswith("chr") else name
    if n.isdigit():
        return (0, int(n), "")
    special = {"X": 1, "Y": 2, "XY": 3, "MT": 4}
    if n.upper() in special:
        return (1, special[n.upper()], "")
    return (2, 0, n)


def json_for_script(value):
    text = json.dumps(value, ensure_ascii=False, separators=(",", ":"))
    for a, b in (("<", "\\u003c"), (">", "\\u003e"), ("&", "\\u0026"), ("\u2028", "\\u2028"), ("\u2029", "\\u2029")):
        text = text.replace(a, b)
    return text


def fill(data):
    def read(name):
        with open(os.path.join(ASSETS, name), encoding="utf-8") as f:
            return f.read()
    page = read("report.html")
    page = page.replace("/*@VENNRICK_STYLE@*/", read("report.css"))
    page = page.replace("/*@VENNRICK_SCRIPT@*/", read("report.js"))
    return page.replace("@VENNRICK_DATA@", json_for_script(data))


def build(rows, title, threshold=7.3, top=20000, levels=32):
    """rows: (id, chr, pos, p as text)."""
    chroms = {}
    for r in rows:
        chroms.setdefault(r[1], []).append(r)
    names = sorted(chroms, key=natural_key)
    extents = [(min(r[2] for r in chroms[c]), max(r[2] for r in chroms[c])) for c in names]
    total = sum(e[1] - e[0] for e in extents)
    gap = max(1, round(total * 0.005)) if len(names) > 1 else 0
    chromosomes, offset = [], 0
    for c, (lo, hi) in zip(names, extents):
        chromosomes.append({"name": c, "start": lo, "end": hi, "offset": offset, "rows": len(chroms[c])})
        offset += hi - lo + gap
    length = max(1, offset - gap)
    index = {c: i for i, c in enumerate(names)}
    scored = sorted(((-math.log10(float(r[3])), k) for k, r in enumerate(rows)), key=lambda x: (-x[0], x[1]))
    chosen = set(k for v, k in scored[:top]) | set(k for v, k in scored if v >= threshold)
    pts = {"chr": [], "pos": [], "id": [], "p": [], "logp": []}
    for v, k in scored:
        if k in chosen:
            r = rows[k]
            pts["chr"].append(index[r[1]]); pts["pos"].append(r[2]); pts["id"].append(r[0])
            pts["p"].append(r[3]); pts["logp"].append(round(v, 4))
    rest = [(v, k) for v, k in scored if k not in chosen and v >= 0]
    width = max(1, math.ceil(length / 60000))
    top_value = max([v for v, k in rest], default=1) or 1
    masks = [[0] * ((hi - lo) // width + 1) for lo, hi in extents]
    for v, k in rest:
        r = rows[k]
        c = index[r[1]]
        level = min(levels - 1, int(v / top_value * levels))
        masks[c][(r[2] - extents[c][0]) // width] |= 1 << level
    cells = [base64.b64encode(b"".join(struct.pack("<I", m) for m in ms)).decode() for ms in masks]
    return {
        "format": 1, "version": "test", "title": title, "input": "table.tsv",
        "command": ["vennrick", "-M", "manhattan", "-file", "table.tsv", "-html", "yes"],
        "positions": "bp", "threshold": threshold, "suggestive": None,
        "colors": ["#0072B2", "#56B4E9", "#D55E00"],
        "summary": {"read": len(rows), "kept": len(rows), "skipped": [], "hits": sum(1 for v, k in scored if v >= threshold),
                    "loci": None, "lambda": None},
        "pointsShown": len(pts["id"]), "hitsShown": sum(1 for v in pts["logp"] if v >= threshold),
        "chromosomes": chromosomes, "genomeLength": length, "points": pts,
        "bins": {"width": width, "levels": levels, "top": top_value, "cells": cells},
        "leads": None, "leadWindow": 500000, "images": {"qq": None, "qqAlt": "", "regional": []},
    }


def main(argv):
    title = None
    args = list(argv[1:])
    if "--title" in args:
        i = args.index("--title")
        title = args[i + 1]
        del args[i:i + 2]
    src, out = args
    rows = []
    with open(src, encoding="utf-8") as f:
        next(f)
        for line in f:
            snp, chrom, bp, p = line.rstrip("\n").split("\t")[:4]
            rows.append((snp, chrom, int(bp), p))
    with open(out, "w", encoding="utf-8") as f:
        f.write(fill(build(rows, title or os.path.basename(src))))


if __name__ == "__main__":
    main(sys.argv)
