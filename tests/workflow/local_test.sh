#!/bin/bash
# The workflow run locally: seven generated tables (plink .assoc with aligned columns, regenie with LOG10P and
# an inflated lambda, gzip, bgzip, a path with spaces, a table whose p-value is not a number, an empty file).
# Checks summary.tsv against each table's report, each report against the numbers the run printed (its log) and
# the schema, the page (marks, thumbnails, links, nothing fetched), the failed tables' messages; then that a
# sheet with a missing file or a duplicated name is refused at start, and that a glob works.
#
#   tests/workflow/local_test.sh BUILD/vennrick
#
# Prints "SKIPPED: <why>" and exits 0 when snakemake or python3 is missing.
set -u
[ $# -eq 1 ] || { echo "usage: $0 VENNRICK_BINARY" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
vennrick=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")

# Debian's Python, which has the packages scripts/install-deps.sh installs (python3-jsonschema, python3-selenium)
py=/usr/bin/python3
[ -x "$py" ] || py=$(command -v python3)
for tool in snakemake python3; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed (scripts/install-deps.sh installs it)"; exit 0; }
done

scratch=$(mktemp -d /tmp/vennrick-workflow-test.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' TERM INT HUP
fail() { echo "FAIL: $*"; exit 1; }

"$py" "$here/make_tables.py" "$scratch/tables" 20000 || fail "cannot generate the tables"
sheet="$scratch/tables/sheet.tsv"
{
    printf 'name\tpath\tswitches\n'
    printf 'plink\tplink.assoc\t\n'
    printf 'regenie\tregenie.regenie\n'
    printf 'gz\tgzip.tsv.gz\t\n'
    printf 'bgz\tbgzip.tsv.gz\t-chr "1-22;X"\n'
    printf 'spaces\twith space/plain table.tsv\t\n'
    printf 'broken\tbroken.tsv\t\n'
    printf 'empty\tempty.tsv\t\n'
} >"$sheet"

cd "$scratch" || fail "no scratch folder"
sm=(timeout 150 snakemake -s "$repo/workflow/Snakefile" --cores 2)
"${sm[@]}" --config "sheet=$sheet" outdir=out "vennrick=$vennrick" >run.log 2>&1
status=$?
[ $status -eq 1 ] || { tail -n 30 run.log; fail "the workflow exited with $status (expected 1: two tables fail)"; }
grep -q "2 of 7 tables failed: broken, empty" run.log || { tail -n 30 run.log; fail "the run does not name the failed tables"; }

VENNRICK_BINARY=$vennrick "$py" - "$scratch/out" "$repo" <<'EOF' || fail "the outputs are wrong"
import base64, html.parser, json, os, re, subprocess, sys, urllib.parse
out, repo = sys.argv[1], sys.argv[2]
names = ["bgz", "broken", "empty", "gz", "plink", "regenie", "spaces"]
lines = open(f"{out}/summary.tsv").read().splitlines()
assert lines[0].split("\t") == ["name", "rows", "kept", "hits", "loci", "lambda", "max_log10p", "status", "message"], lines[0]
rows = [l.split("\t") for l in lines[1:]]
assert [r[0] for r in rows] == names, [r[0] for r in rows]
fmt = lambda v, d: "NA" if v is None else (str(v) if isinstance(v, int) else f"{v:.{d}f}")
sys.path.insert(0, f"{repo}/workflow/scripts")
import batch
pages = batch.has_switch(os.environ["VENNRICK_BINARY"], "-html")
reports = []
for r in rows:
    name = r[0]
    log = open(f"{out}/logs/{name}.log").read()
    path = f"{out}/tables/{name}/{name}.hits.json"
    if name in ("broken", "empty"):
        assert r[1:8] == ["NA"] * 6 + ["failed"], r
        expected = {"broken": "the p-value field 'not-a-number' is not a number",
                    "empty": "the table is empty"}[name]
        assert expected in r[8], r
        assert expected in log and f"table '{name}' failed" in log, f"{name}: its log lacks the message"
        rep = json.load(open(path))
        assert rep["status"] == "failed" and expected in rep["message"], rep["message"]
        reports.append(path)
        continue
    rep = json.load(open(path))
    reports.append(path)
    assert rep["status"] == "ok", (name, rep["status"])
    want = [name, fmt(rep["rows"]["read"], 0), fmt(rep["rows"]["kept"], 0), fmt(rep["rows"]["hits"], 0),
            fmt(rep["leads"]["loci"], 0), fmt(rep["qq"]["lambda"], 4), fmt(rep["max_log10p"], 4), "ok", ""]
    assert r == want, f"summary {r} against report {want}"
    # the report against what the same run printed (its log holds standard output and standard error)
    m = re.search(r"vennrick: (\d+) rows read: (\d+) kept, (\d+) skipped.*, (\d+) hits?\n", log)
    assert m, f"{name}: no summary line in its log"
    assert [rep["rows"]["read"], rep["rows"]["kept"], rep["rows"]["skipped"]["total"], rep["rows"]["hits"]] == \
        [int(x) for x in m.groups()], (name, m.groups())
    lam = re.search(r"Genomic inflation factor lambda = (\S+)", log).group(1)
    assert lam == f"{rep['qq']['lambda']:.4f}", (name, lam, rep["qq"]["lambda"])
    m = re.search(r"lead loci: (\d+) hits? in (\d+) loc", log)
    assert [rep["leads"]["hits"], rep["leads"]["loci"]] == [int(m.group(1)), int(m.group(2))], (name, m.groups())
    # the report's top loci are the .leads file's rows, strongest first
    leads = [l.split("\t") for l in open(f"{out}/tables/{name}/{name}.hits.leads").read().splitlines()[1:]]
    assert len(leads) == rep["leads"]["loci"]
    strongest = sorted(leads, key=lambda l: -float(l[4]))[:20]
    top = [[t["chromosome"], str(t["lead_position"]), t["lead_id"], t["lead_p"]] for t in rep["leads"]["top"]]
    assert sorted(top) == sorted(l[:4] for l in strongest), (name, top, strongest)
    for f in rep["files"]:
        assert os.path.getsize(f"{out}/tables/{name}/{f['path']}") == f["size_bytes"], (name, f)
    assert {f["kind"] for f in rep["files"]} >= {"hits", "leads", "manhattan", "qq"}, rep["files"]
    # with a binary that writes report pages, each table has its page (-html yes), which the index links
    if pages:
        assert "page" in {f["kind"] for f in rep["files"]}, rep["files"]
        assert f"tables/{name}/{name}.hits.html" in open(f"{out}/index.html").read(), f"{name}: no link to its page"
    # the columns each layout was read with
    col = rep["columns"]
    if name == "plink":
        assert col["delimiter"] == "whitespace" and col["p_value"]["name"] == "P", col
    if name == "regenie":
        assert col["p_value"]["name"] == "LOG10P" and col["p_value"]["holds"] == "-log10(p)", col
        assert rep["qq"]["lambda"] > 1.1, rep["qq"]["lambda"]
    if name in ("gz", "bgz"):
        assert rep["input"]["compression"] == {"gz": "gzip", "bgz": "bgzip"}[name], rep["input"]
    if name == "bgz":
        assert rep["rows"]["skipped"]["chromosome_not_selected"] == 0, "the sheet's -chr did not reach the run"
    if name == "spaces":
        assert rep["input"]["path"].endswith("with space/plain table.tsv"), rep["input"]
r = subprocess.run([sys.executable, f"{repo}/tests/report/validate_report.py", f"{repo}/docs/report.schema.json"] + reports,
                   stdout=subprocess.PIPE, text=True)
assert r.returncode == 0, r.stdout
print(f"local: summary.tsv agrees with {len(reports)} reports, which agree with their logs and the schema ({r.stdout.strip() or 'valid'}); report pages: {'linked' if pages else 'not made by this binary'}")

# The page: one self-contained file, the failed and the inflated tables marked, thumbnails inline, links that resolve.
page = open(f"{out}/index.html").read()
class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.rows, self.row, self.links, self.images, self.fetched = [], None, [], [], []
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "tr":
            self.row = {"class": a.get("class") or "", "text": "", "name": None}
            self.rows.append(self.row)
        if tag == "td" and self.row is not None and self.row["name"] is None:
            self.row["name"] = a.get("data-sort")
        if tag == "a":
            self.links.append(a["href"])
        if tag == "img":
            self.images.append(a["src"])
        if tag in ("script", "link", "img", "iframe") and re.match(r"^(https?:)?//", a.get("src") or a.get("href") or ""):
            self.fetched.append(a)
    def handle_data(self, data):
        if self.row is not None:
            self.row["text"] += data
p = Page()
p.feed(page)
assert not p.fetched, p.fetched
body = [r for r in p.rows[1:]]
assert len(body) == 7, len(body)
marked = sorted(r["name"] for r in body if "flagged" in r["class"])
assert marked == ["broken", "empty", "regenie"], marked
assert len(p.images) == 10, len(p.images)  # Manhattan and QQ of the five tables that ran
for src in p.images:
    assert src.startswith("data:image/png;base64,"), src[:40]
    png = base64.b64decode(src.split(",", 1)[1])
    assert png[:8] == b"\x89PNG\r\n\x1a\n" and 100 <= int.from_bytes(png[16:20], "big") <= 300, "thumbnail size"
for href in p.links:
    target = os.path.join(out, urllib.parse.unquote(href))
    assert os.path.isfile(target), f"the page links to {href}, which does not exist"
assert "<script>" in page and "aria-sort" in page
print(f"local: index.html marks {marked}, {len(p.images)} inline thumbnails, {len(p.links)} links that resolve")
EOF

# The page in a real browser: thumbnails shown, columns sorted by a click.
timeout 120 "$py" "$here/page_check.py" "$scratch/out/index.html" || fail "the page does not work in Chromium"

# Refused at start, before any job: a missing file and a duplicated name, each named.
printf 'name\tpath\nplink\tplink.assoc\nplink\tgzip.tsv.gz\ngone\tno such table.tsv\n' >"$scratch/tables/bad.tsv"
"${sm[@]}" --config "sheet=$scratch/tables/bad.tsv" outdir=refused "vennrick=$vennrick" >refused.log 2>&1
status=$?
[ $status -ne 0 ] || fail "a sheet with a missing file and a duplicated name was not refused"
grep -q "line 3: name 'plink' is used twice (first at line 2)" refused.log || { cat refused.log; fail "no message for the duplicated name"; }
grep -q "line 4: table 'gone': file 'no such table.tsv' does not exist" refused.log || { cat refused.log; fail "no message for the missing file"; }
[ ! -e refused/tables ] || fail "a refused sheet still ran tables"

# A glob instead of a sheet: names from the file names.
"${sm[@]}" --config "sheet=$scratch/tables/*.tsv.gz" outdir=globbed "vennrick=$vennrick" >glob.log 2>&1 ||
    { tail -n 20 glob.log; fail "the workflow on a glob failed"; }
[ "$(cut -f1,8 globbed/summary.tsv | tr '\t\n' ' ')" = "name status bgzip ok gzip ok " ] ||
    fail "the glob's summary is $(cut -f1,8 globbed/summary.tsv | tr '\t\n' ' ')"
# On a cluster the tables go into at most max_jobs jobs: 120 tiny tables, max_jobs=5, planned (dry run) as 5.
mkdir -p many
for i in $(seq 1 120); do printf 'CHR\tBP\tP\n1\t%d\t0.5\n1\t%d\t0.1\n' $i $((i + 1)) >"many/t$i.tsv"; done
"${sm[@]}" --profile "$repo/workflow/profiles/slurm" --dry-run --config "sheet=$scratch/many/*.tsv" outdir=grouped \
    "vennrick=$vennrick" max_jobs=5 >grouped.log 2>&1 || { tail -n 20 grouped.log; fail "the dry run on a cluster failed"; }
groups=$(grep -o 'group job tables[0-9]*' grouped.log | sort -u | wc -l)
[ "$groups" -eq 5 ] || fail "120 tables with max_jobs=5 were planned as $groups cluster jobs"
echo "PASS: workflow locally"
