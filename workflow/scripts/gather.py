"""Gathers the runs of a batch into OUTDIR/summary.tsv and OUTDIR/index.html (Python standard library only).

    python3 workflow/scripts/gather.py OUTDIR NAME...

Each table's run left OUTDIR/tables/NAME/status.json (written by the workflow) and, when Vennrick got that far,
its report NAME.hits.json. summary.tsv has one line per table, sorted by name:
    name rows kept hits loci lambda max_log10p status message
(NA where a number is unknown; status ok, failed or missing). index.html is one self-contained page: the same
columns, sortable, thumbnails of each table's Manhattan and QQ plots inline, links to its files, and the tables
whose lambda lies outside 0.9-1.1 or whose run failed marked.
"""

import array
import base64
import html
import itertools
import json
import os
import struct
import sys
import time
import urllib.parse
import zlib

COLUMNS = ["name", "rows", "kept", "hits", "loci", "lambda", "max_log10p", "status", "message"]
LAMBDA_LOW, LAMBDA_HIGH = 0.9, 1.1
THUMB_WIDTH = 200
EMBED_LIMIT = 1 << 19  # an image that cannot be shrunk is embedded as it is only up to this size


# ---------------------------------------------------------------------------------------------------------
# Reading one table's results


def _load_json(path):
    try:
        with open(path, encoding="utf-8") as f:
            value = json.load(f)
        return value if isinstance(value, dict) else None
    except (OSError, ValueError):
        return None


def _get(d, *keys):
    for k in keys:
        if not isinstance(d, dict):
            return None
        d = d.get(k)
    return d


def _count(v):
    return v if isinstance(v, int) and not isinstance(v, bool) else None


def _number(v):
    return float(v) if isinstance(v, (int, float)) and not isinstance(v, bool) else None


def table_record(outdir, name, path=None):
    """Everything the summary and the page show about one table."""
    tdir = os.path.join(outdir, "tables", name)
    status = _load_json(os.path.join(tdir, "status.json"))
    report = None
    if status is not None:
        report = _load_json(os.path.join(tdir, str(status.get("report") or name + ".hits.json")))
    rec = {"name": name, "input": path or (status or {}).get("input") or "", "dir": tdir, "report": report,
           "log": os.path.join(outdir, "logs", name + ".log")}
    rec["rows"] = _count(_get(report, "rows", "read"))
    rec["kept"] = _count(_get(report, "rows", "kept"))
    rec["hits"] = _count(_get(report, "rows", "hits"))
    rec["loci"] = _count(_get(report, "leads", "loci"))
    rec["lambda"] = _number(_get(report, "qq", "lambda"))
    rec["max_log10p"] = _number(_get(report, "max_log10p"))
    if status is None:
        rec["status"] = "missing"
        rec["message"] = "the table's job left no status (killed, or not run)"
    else:
        rec["status"] = "ok" if status.get("status") == "ok" else "failed"
        rec["message"] = str(status.get("message") or "")
    rec["files"] = []
    for f in _get(report, "files") or []:
        if isinstance(f, dict) and isinstance(f.get("path"), str):
            full = f["path"] if os.path.isabs(f["path"]) else os.path.join(tdir, f["path"])
            if os.path.isfile(full):
                rec["files"].append((str(f.get("kind") or "other"), full))
    report_file = os.path.join(tdir, str((status or {}).get("report") or name + ".hits.json"))
    if os.path.isfile(report_file):
        rec["files"].append(("report", report_file))
    return rec


def _fmt(v, digits):
    if v is None:
        return "NA"
    if isinstance(v, int):
        return str(v)
    return f"{v:.{digits}f}"


def summary_fields(rec):
    return [rec["name"], _fmt(rec["rows"], 0), _fmt(rec["kept"], 0), _fmt(rec["hits"], 0), _fmt(rec["loci"], 0),
            _fmt(rec["lambda"], 4), _fmt(rec["max_log10p"], 4), rec["status"],
            " ".join(rec["message"].split())]  # no tabs or line breaks inside a field


def flags(rec):
    """Why a table is marked on the page (empty: not marked)."""
    why = []
    if rec["status"] != "ok":
        why.append("run " + rec["status"])
    if rec["lambda"] is not None and not (LAMBDA_LOW <= rec["lambda"] <= LAMBDA_HIGH):
        why.append(f"lambda {rec['lambda']:.4f} outside {LAMBDA_LOW}-{LAMBDA_HIGH}")
    return why


# ---------------------------------------------------------------------------------------------------------
# Thumbnails: PNG read and shrunk by box averaging, in plain Python


def _png_rows(data):
    """(width, height, channels, list of row bytes) of an 8-bit RGB or RGBA, non-interlaced PNG; else None."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    pos, idat, ihdr = 8, [], None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
        pos += 12 + length
    if ihdr is None:
        return None
    width, height, depth, colour, _, _, interlace = ihdr
    if depth != 8 or colour not in (2, 6) or interlace != 0 or width == 0 or height == 0:
        return None
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(b"".join(idat))
    stride = width * channels
    if len(raw) < height * (stride + 1):
        return None
    low = int.from_bytes(b"\x7f" * stride, "little")
    high = int.from_bytes(b"\x80" * stride, "little")
    rows, prev = [], bytes(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], raw[start + 1:start + 1 + stride]
        if kind == 0:
            row = line
        elif kind == 2:  # up: bytewise sum with the row above, without carries between bytes
            a, b = int.from_bytes(line, "little"), int.from_bytes(prev, "little")
            row = (((a & low) + (b & low)) ^ ((a ^ b) & high)).to_bytes(stride, "little")
        elif kind == 1:  # sub: running sums of each channel
            out = bytearray(stride)
            for c in range(channels):
                out[c::channels] = bytes(map((255).__and__, itertools.accumulate(line[c::channels])))
            row = bytes(out)
        elif kind in (3, 4):  # average, paeth: byte by byte (not written by Vennrick)
            out = bytearray(stride)
            for i in range(stride):
                left = out[i - channels] if i >= channels else 0
                up = prev[i]
                if kind == 3:
                    out[i] = (line[i] + ((left + up) >> 1)) & 255
                else:
                    ul = prev[i - channels] if i >= channels else 0
                    p = left + up - ul
                    pa, pb, pc = abs(p - left), abs(p - up), abs(p - ul)
                    pred = left if pa <= pb and pa <= pc else (up if pb <= pc else ul)
                    out[i] = (line[i] + pred) & 255
            row = bytes(out)
        else:
            return None
        rows.append(row)
        prev = row
    return width, height, channels, rows


def _png_bytes(width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def thumbnail_png(data, width=THUMB_WIDTH):
    """A PNG about WIDTH pixels wide (each pixel the mean of a k x k box), or None when DATA is not a PNG this
    can read."""
    try:
        decoded = _png_rows(data)
    except (zlib.error, struct.error, ValueError):
        return None
    if decoded is None:
        return None
    w, h, ch, rows = decoded
    k = max(1, round(w / width))
    tw, th = w // k, h // k
    if tw == 0 or th == 0:
        return None
    area = k * k
    mean = bytes((s + area // 2) // area for s in range(255 * area + 1))  # a box's sum to its rounded mean
    out_rows = []
    for ty in range(th):
        block = rows[ty * k:(ty + 1) * k]
        out = bytearray(tw * 3)
        if ch == 3:
            # The block's bytes as 16-bit lanes of one integer, its rows added, then each lane plus the next
            # k - 1 pixels' lanes: lane 3k*tx + c holds the box's sum of channel c (at most 255 * k * k).
            total = 0
            for r in block:
                spread = bytearray(2 * len(r))
                spread[0::2] = r
                total += int.from_bytes(spread, "little")
            boxes = total
            for dx in range(1, k):
                boxes += total >> (16 * 3 * dx)
            lanes = array.array("H")
            lanes.frombytes(boxes.to_bytes(2 * len(block[0]), "little"))
            if sys.byteorder == "big":
                lanes.byteswap()
            for c in range(3):
                out[c::3] = bytes(map(mean.__getitem__, lanes[c:3 * k * tw:3 * k]))
            out_rows.append(bytes(out))
            continue
        for c in range(3):
            # every byte of channel c in the block, column by column of boxes: k rows x k offsets
            slices = [r[(dx * ch + c)::k * ch][:tw] for r in block for dx in range(k)]
            if ch == 4:  # on white, by each pixel's alpha
                alphas = [r[(dx * ch + 3)::k * ch][:tw] for r in block for dx in range(k)]
                sums = [sum((v * a + 255 * (255 - a)) // 255 for v, a in zip(vs, als))
                        for vs, als in zip(zip(*slices), zip(*alphas))]
            else:
                sums = map(sum, zip(*slices))
            out[c::3] = bytes(map(mean.__getitem__, sums))
        out_rows.append(bytes(out))
    return _png_bytes(tw, th, out_rows)


def thumbnail_path(path):
    """Where the table's job leaves the thumbnail of the image at PATH."""
    return os.path.join(os.path.dirname(path), ".thumb." + os.path.basename(path) + ".png")


def write_thumbnails(paths):
    """Writes the thumbnail of each PNG image of PATHS next to it (the table's job does this, so that the work is
    spread over the jobs); an image this cannot read gets none."""
    for path in paths:
        if not path.lower().endswith(".png"):
            continue
        try:
            with open(path, "rb") as f:
                thumb = thumbnail_png(f.read())
            if thumb is not None:
                _write_whole(thumbnail_path(path), thumb, binary=True)
        except OSError:
            pass


def image_data_uri(path):
    """A data: URI of the thumbnail of the image at PATH (left by the table's job, or made here), or of the image
    itself when it is small; None when it cannot be shown."""
    thumb_file = thumbnail_path(path)
    if os.path.isfile(thumb_file) and os.path.getmtime(thumb_file) >= os.path.getmtime(path):
        with open(thumb_file, "rb") as f:
            return "data:image/png;base64," + base64.b64encode(f.read()).decode("ascii")
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    ext = os.path.splitext(path)[1].lower()
    if ext == ".png":
        thumb = thumbnail_png(data)
        if thumb is not None:
            return "data:image/png;base64," + base64.b64encode(thumb).decode("ascii")
    mime = {".png": "image/png", ".jpg": "image/jpeg", ".jpeg": "image/jpeg", ".svg": "image/svg+xml"}.get(ext)
    if mime is None or len(data) > EMBED_LIMIT:
        return None
    return f"data:{mime};base64," + base64.b64encode(data).decode("ascii")


# ---------------------------------------------------------------------------------------------------------
# The page

STYLE = """
body{font:14px/1.4 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;margin:1.5em;color:#222}
h1{font-size:1.4em;margin:0 0 .2em}
p.meta{color:#555;margin:0 0 1em}
table{border-collapse:collapse}
th,td{border-bottom:1px solid #ddd;padding:4px 8px;vertical-align:middle;text-align:left}
td.n{text-align:right;font-variant-numeric:tabular-nums}
th{background:#f4f4f4;position:sticky;top:0;cursor:pointer;user-select:none;white-space:nowrap}
th[aria-sort=ascending]::after{content:" \\25B2"}
th[aria-sort=descending]::after{content:" \\25BC"}
tr.flagged td{background:#fff1ec}
tr.flagged td:first-child{border-left:4px solid #d55e00}
.why{color:#a33c00;font-size:.9em}
img.thumb{display:block;border:1px solid #eee;width:200px;height:auto}
img.qq{width:133px}
td.files a{margin-right:.6em;white-space:nowrap}
.failed{color:#a33c00;font-weight:600}
"""

SCRIPT = """
(function(){
  var table=document.getElementById('tables'),body=table.tBodies[0];
  var heads=table.tHead.rows[0].cells;
  function key(row,i){var c=row.cells[i],v=c.getAttribute('data-sort');
    if(v===null)v=c.textContent;return v;}
  Array.prototype.forEach.call(heads,function(th,i){
    if(th.hasAttribute('data-nosort'))return;
    th.tabIndex=0;
    function sort(){
      var numeric=th.hasAttribute('data-numeric');
      var dir=th.getAttribute('aria-sort')==='ascending'?-1:1;
      Array.prototype.forEach.call(heads,function(h){h.removeAttribute('aria-sort');});
      th.setAttribute('aria-sort',dir===1?'ascending':'descending');
      var rows=Array.prototype.slice.call(body.rows);
      rows.sort(function(a,b){
        var x=key(a,i),y=key(b,i);
        if(numeric){x=x===''?NaN:parseFloat(x);y=y===''?NaN:parseFloat(y);
          if(isNaN(x)&&isNaN(y))return 0;if(isNaN(x))return 1;if(isNaN(y))return -1;
          return dir*(x-y);}
        return dir*x.localeCompare(y);});
      rows.forEach(function(r){body.appendChild(r);});
    }
    th.addEventListener('click',sort);
    th.addEventListener('keydown',function(e){if(e.key==='Enter'||e.key===' '){e.preventDefault();sort();}});
  });
})();
"""

FILE_LABELS = [("page", "page"), ("hits", "hits"), ("leads", "leads"), ("manhattan", "Manhattan"), ("qq", "QQ"),
               ("report", "report")]


def _href(outdir, path):
    rel = os.path.relpath(path, outdir)
    return html.escape(urllib.parse.quote(rel.replace(os.sep, "/")), quote=True)


def _num_cell(v, digits):
    if v is None:
        return '<td class="n" data-sort="">NA</td>'
    shown = _fmt(v, digits)
    return f'<td class="n" data-sort="{html.escape(repr(v))}">{html.escape(shown)}</td>'


def page(outdir, records):
    esc = html.escape
    failed = sum(1 for r in records if r["status"] != "ok")
    marked = sum(1 for r in records if flags(r))
    out = ["<!DOCTYPE html>", '<html lang="en">', "<head>", '<meta charset="utf-8">',
           '<meta name="viewport" content="width=device-width, initial-scale=1">',
           f"<title>Vennrick: {len(records)} tables</title>", f"<style>{STYLE}</style>", "</head>", "<body>",
           f"<h1>Vennrick: {len(records)} tables</h1>",
           f'<p class="meta">{len(records) - failed} ran, {failed} failed, {marked} marked '
           f"(failed, or lambda outside {LAMBDA_LOW}&ndash;{LAMBDA_HIGH}). Written "
           f"{esc(time.strftime('%Y-%m-%d %H:%M:%S'))}. Click a column's title to sort by it. "
           f'The numbers are also in <a href="summary.tsv">summary.tsv</a>.</p>',
           '<table id="tables">', "<thead><tr>",
           "<th>name</th>", "<th data-nosort>Manhattan</th>", "<th data-nosort>QQ</th>",
           "<th data-numeric>rows</th>", "<th data-numeric>kept</th>", "<th data-numeric>hits</th>",
           "<th data-numeric>loci</th>", "<th data-numeric>&lambda;</th>",
           "<th data-numeric>max &minus;log<sub>10</sub>(p)</th>", "<th>status</th>", "<th data-nosort>files</th>",
           "</tr></thead>", "<tbody>"]
    for r in records:
        why = flags(r)
        files = dict((kind, path) for kind, path in reversed(r["files"]))
        cells = []
        name_cell = f'<td data-sort="{esc(r["name"])}"><b>{esc(r["name"])}</b>'
        if r["input"]:
            name_cell += f'<br><small title="{esc(r["input"])}">{esc(os.path.basename(r["input"]))}</small>'
        if why:
            name_cell += f'<br><span class="why">&#9888; {esc("; ".join(why))}</span>'
        cells.append(name_cell + "</td>")
        for kind, cls in (("manhattan", "thumb"), ("qq", "thumb qq")):
            uri = image_data_uri(files[kind]) if kind in files else None
            if uri:
                cells.append(f'<td><a href="{_href(outdir, files[kind])}"><img class="{cls}" src="{esc(uri)}" '
                             f'alt="{esc(kind)} plot of {esc(r["name"])}"></a></td>')
            else:
                cells.append("<td></td>")
        for key in ("rows", "kept", "hits", "loci"):
            cells.append(_num_cell(r[key], 0))
        cells.append(_num_cell(r["lambda"], 4))
        cells.append(_num_cell(r["max_log10p"], 4))
        if r["status"] == "ok":
            cells.append('<td data-sort="ok">ok</td>')
        else:
            cells.append(f'<td data-sort="{esc(r["status"])}"><span class="failed">{esc(r["status"])}</span>'
                         f'<br><small>{esc(r["message"])}</small></td>')
        links = [f'<a href="{_href(outdir, files[k])}">{label}</a>' for k, label in FILE_LABELS if k in files]
        if os.path.isfile(r["log"]):
            links.append(f'<a href="{_href(outdir, r["log"])}">log</a>')
        cells.append('<td class="files">' + " ".join(links) + "</td>")
        out.append(('<tr class="flagged">' if why else "<tr>") + "".join(cells) + "</tr>")
    out += ["</tbody>", "</table>", f"<script>{SCRIPT}</script>", "</body>", "</html>", ""]
    return "\n".join(out)


# ---------------------------------------------------------------------------------------------------------


def _write_whole(path, content, binary=False):
    tmp = f"{path}.{os.getpid()}.tmp"
    with (open(tmp, "wb") if binary else open(tmp, "w", encoding="utf-8", newline="\n")) as f:
        f.write(content)
    os.replace(tmp, path)


def gather(outdir, tables, summary_path=None, index_path=None):
    """TABLES: (name, input path) pairs. Writes the summary and the page; returns the records."""
    records = sorted((table_record(outdir, name, path) for name, path in tables), key=lambda r: r["name"])
    summary_path = summary_path or os.path.join(outdir, "summary.tsv")
    index_path = index_path or os.path.join(outdir, "index.html")
    lines = ["\t".join(COLUMNS)] + ["\t".join(summary_fields(r)) for r in records]
    _write_whole(summary_path, "\n".join(lines) + "\n")
    _write_whole(index_path, page(outdir, records))
    return records


def failed_tables(summary_path):
    """Names of the tables whose status in SUMMARY_PATH is not ok."""
    try:
        with open(summary_path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError:
        return []
    if not lines:
        return []
    at = lines[0].split("\t").index("status")
    return [l.split("\t")[0] for l in lines[1:] if l and l.split("\t")[at] != "ok"]


if __name__ == "__main__":
    if len(sys.argv) < 3:
        print("usage: gather.py OUTDIR NAME...", file=sys.stderr)
        sys.exit(2)
    gather(sys.argv[1], [(n, None) for n in sys.argv[2:]])
