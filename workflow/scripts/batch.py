"""The workflow's own logic, in plain Python (standard library only): reading and checking the sample sheet,
sizing each table's job, grouping tables into cluster jobs, and running Vennrick on one table.

The Snakefile imports this module; tests and people may call it too:
    python3 workflow/scripts/batch.py check SHEET        # the sheet's tables, or the reasons it is refused
"""

import glob
import json
import math
import os
import re
import shlex
import signal
import subprocess
import sys
import time
import zlib

# What every table's run gets; a table's own switches (sheet column 3) and the config's `switches` come first,
# so that they win over these (Vennrick takes the first of a switch given twice).
DEFAULT_SWITCHES = ["-names", "yes", "-style", "paper", "-image", "png", "-qq", "yes", "-leads", "yes"]
# Switches the workflow sets itself: a sheet or the config may not give them.
OWNED_SWITCHES = {"-M", "-m", "-file", "-out", "-report", "-html", "-threads"}

NAME_PATTERN = re.compile(r"^[A-Za-z0-9][A-Za-z0-9._+-]{0,127}$")
SAMPLE_BYTES = 1 << 18  # bytes of a table read to estimate its rows


class SheetError(Exception):
    """The sheet is refused; the message lists every problem found."""


# ---------------------------------------------------------------------------------------------------------
# The sheet


def _glob_name(path):
    """A table's name from its file name: compression suffix and one more extension off, odd characters to _."""
    base = os.path.basename(path)
    base = re.sub(r"\.(gz|bgz|bgzf)$", "", base)
    stem, ext = os.path.splitext(base)
    if stem:
        base = stem
    name = re.sub(r"[^A-Za-z0-9._+-]", "_", base)
    if not name or not name[0].isalnum():
        name = "t" + name
    return name[:128]


def read_sheet(sheet_or_glob, own_switches=""):
    """Reads SHEET_OR_GLOB (a sample sheet, or a glob when no such file exists) and returns a list of tables
    {name, path, switches}, sorted by name. Raises SheetError naming every problem at once."""
    if not sheet_or_glob:
        raise SheetError("no sample sheet: give one with --config sheet=SHEET (a TSV 'name path switches', or a glob)")
    problems = []
    tables = []
    if os.path.isfile(sheet_or_glob):
        base = os.path.dirname(os.path.abspath(sheet_or_glob))
        try:
            with open(sheet_or_glob, encoding="utf-8") as f:
                lines = f.read().split("\n")
        except (OSError, UnicodeDecodeError) as e:
            raise SheetError(f"sample sheet '{sheet_or_glob}' cannot be read: {e}")
        header_at = None
        for number, line in enumerate(lines, 1):
            line = line.rstrip("\r")
            if not line.strip() or line.startswith("#"):
                continue
            fields = line.split("\t")
            if header_at is None:
                header_at = number
                if fields not in (["name", "path"], ["name", "path", "switches"]):
                    raise SheetError(
                        f"sample sheet '{sheet_or_glob}' line {number}: the first line must be the header "
                        f"'name<TAB>path' or 'name<TAB>path<TAB>switches' (tab-separated), found {line[:200]!r}")
                continue
            if len(fields) < 2 or len(fields) > 3:
                problems.append(f"line {number}: {len(fields)} tab-separated fields, expected 2 or 3 "
                                f"(name, path, switches): {line[:200]!r}")
                continue
            name, path = fields[0], fields[1]
            switches = fields[2] if len(fields) == 3 else ""
            if path == "":
                problems.append(f"line {number}: table '{name}' has an empty path")
                continue
            tables.append({"name": name, "path": os.path.join(base, path), "given": path,
                           "switches": switches, "line": number})
        if header_at is None:
            raise SheetError(f"sample sheet '{sheet_or_glob}' is empty: expected the header 'name<TAB>path<TAB>switches' "
                             "and one line per table")
    else:
        paths = sorted(p for p in glob.glob(sheet_or_glob) if os.path.isfile(p))
        if not paths:
            if any(c in sheet_or_glob for c in "*?["):
                raise SheetError(f"the glob '{sheet_or_glob}' matches no file")
            raise SheetError(f"sample sheet '{sheet_or_glob}' does not exist (nor is it a glob that matches files)")
        for p in paths:
            tables.append({"name": _glob_name(p), "path": os.path.abspath(p), "given": p, "switches": "",
                           "line": None})

    where = (lambda t: f"line {t['line']}") if os.path.isfile(sheet_or_glob) else (lambda t: f"'{t['given']}'")
    seen = {}
    for t in tables:
        if not NAME_PATTERN.match(t["name"]):
            problems.append(f"{where(t)}: name {t['name']!r} is not usable as a file name: use letters, digits "
                            "and . _ + - (starting with a letter or digit, at most 128)")
        if t["name"] in seen:
            problems.append(f"{where(t)}: name '{t['name']}' is used twice (first at {where(seen[t['name']])}); "
                            "every table needs its own name")
        else:
            seen[t["name"]] = t
        if not os.path.exists(t["path"]):
            problems.append(f"{where(t)}: table '{t['name']}': file '{t['given']}' does not exist")
        elif not os.path.isfile(t["path"]):
            problems.append(f"{where(t)}: table '{t['name']}': '{t['given']}' is not a regular file")
        elif not os.access(t["path"], os.R_OK):
            problems.append(f"{where(t)}: table '{t['name']}': file '{t['given']}' cannot be read")
        for text, origin in ((t["switches"], "switches"), (own_switches, "the config's switches")):
            try:
                words = shlex.split(text)
            except ValueError as e:
                problems.append(f"{where(t)}: {origin} {text!r} cannot be split into words: {e}")
                continue
            owned = sorted(set(words) & OWNED_SWITCHES)
            if owned:
                problems.append(f"{where(t)}: {origin} give {', '.join(owned)}, which the workflow sets itself")
            if origin == "switches":
                t["words"] = words
    if problems:
        shown = problems[:50]
        more = f"\n  ... and {len(problems) - 50} more" if len(problems) > 50 else ""
        raise SheetError(f"sample sheet '{sheet_or_glob}' refused ({len(problems)} problem{'s' * (len(problems) > 1)}):\n  "
                         + "\n  ".join(shown) + more)
    tables.sort(key=lambda t: t["name"])
    return tables


# ---------------------------------------------------------------------------------------------------------
# Sizing


def estimate_rows(path):
    """Rows of a table estimated from its size and its first SAMPLE_BYTES: the sample's mean line length, and for
    gzip or bgzip the sample's inflation ratio. 0 for an empty file."""
    size = os.path.getsize(path)
    if size == 0:
        return 0
    with open(path, "rb") as f:
        head = f.read(SAMPLE_BYTES)
    text = head
    expanded = size
    if head[:2] == b"\x1f\x8b":
        out = []
        rest = head
        consumed = 0
        try:
            while rest:  # one member after another: bgzip is a series of small gzip members
                d = zlib.decompressobj(31)
                out.append(d.decompress(rest, 1 << 24))
                if not d.eof:
                    consumed += len(rest) - len(d.unconsumed_tail)
                    break
                consumed += len(rest) - len(d.unused_data)
                rest = d.unused_data
        except zlib.error:
            pass
        text = b"".join(out)
        if consumed > 0 and text:
            expanded = size * len(text) / consumed
    lines = text.count(b"\n")
    if lines == 0:
        return max(1, round(expanded / max(len(text), 1)))
    return max(1, round(expanded / (len(text) / lines)))


def memory_mb(rows, bytes_per_row, fixed_mb):
    """The job's memory request: fixed_mb + bytes_per_row per estimated row, in MiB, rounded up."""
    return int(fixed_mb + math.ceil(rows * bytes_per_row / (1 << 20)))


def runtime_minutes(rows, fixed_minutes, rows_per_minute):
    return int(fixed_minutes + math.ceil(rows / rows_per_minute))


def assign_groups(tables, max_jobs, table_cost_rows):
    """Puts the tables in at most max_jobs groups of about equal work (estimated rows plus table_cost_rows for a
    table's start-up), biggest table first into the lightest group. Sets t['group']."""
    count = max(1, min(int(max_jobs), len(tables)))
    load = [0] * count
    for t in sorted(tables, key=lambda t: (-t["rows"], t["name"])):
        k = min(range(count), key=lambda i: (load[i], i))
        load[k] += t["rows"] + table_cost_rows
        t["group"] = f"tables{k + 1}"


def plan(sheet_or_glob, config, cache_path=None):
    """The sheet's tables, each with its estimated rows, memory and run time requests and its cluster group.
    Row estimates are kept in CACHE_PATH (by path, size and modification time), so that the cluster jobs,
    which read the Snakefile again, do not read the head of every table again."""
    tables = read_sheet(sheet_or_glob, str(config.get("switches", "") or ""))
    cache = {}
    if cache_path:
        try:
            with open(cache_path, encoding="utf-8") as f:
                cache = json.load(f)
        except (OSError, ValueError):
            cache = {}
    fresh = {}
    for t in tables:
        st = os.stat(t["path"])
        key = f"{st.st_size}:{st.st_mtime_ns}:{t['path']}"
        rows = cache.get(key)
        t["rows"] = rows if isinstance(rows, int) else estimate_rows(t["path"])
        fresh[key] = t["rows"]
        t["mem_mb"] = memory_mb(t["rows"], float(config["mem_bytes_per_row"]), float(config["mem_fixed_mb"]))
        t["runtime"] = runtime_minutes(t["rows"], float(config["runtime_fixed_minutes"]),
                                       float(config["runtime_rows_per_minute"]))
    assign_groups(tables, config["max_jobs"], int(config["group_table_cost_rows"]))
    if cache_path and fresh != cache:
        try:
            os.makedirs(os.path.dirname(cache_path), exist_ok=True)
            tmp = f"{cache_path}.{os.getpid()}.tmp"
            with open(tmp, "w", encoding="utf-8") as f:
                json.dump(fresh, f)
            os.replace(tmp, cache_path)
        except OSError:
            pass  # only a cache
    return tables


# ---------------------------------------------------------------------------------------------------------
# The binary


def find_binary(given):
    """The Vennrick binary as an absolute path, or raises SheetError."""
    if os.sep in given:
        path = os.path.abspath(given)
        if os.path.isfile(path) and os.access(path, os.X_OK):
            return path
        raise SheetError(f"the Vennrick binary '{given}' is not an executable file (config key 'vennrick')")
    import shutil
    found = shutil.which(given)
    if not found:
        raise SheetError(f"no '{given}' on PATH: build Vennrick and give its path with --config vennrick=PATH")
    return os.path.abspath(found)


def has_switch(binary, switch):
    """True when the binary takes SWITCH: its --help text lists it, or a run that stops before any file (no
    -file) does not call it "not a switch"."""
    try:
        r = subprocess.run([binary, "--help"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=30)
        if re.search(rb"(^|[\s`|])" + re.escape(switch.encode()) + rb"([\s`|]|$)", r.stdout):
            return True
        r = subprocess.run([binary, "-M", "manhattan", switch, "yes"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, timeout=30)
    except (OSError, subprocess.SubprocessError):
        return False
    return b"'" + switch.encode() + b"' is not a switch" not in r.stderr


# ---------------------------------------------------------------------------------------------------------
# One table's run


def _last_message(stderr_text):
    lines = [l for l in stderr_text.splitlines() if l.strip()]
    for l in reversed(lines):
        if l.startswith("vennrick: "):
            return l[len("vennrick: "):]
    return lines[-1] if lines else ""


def run_table(binary, table, outdir, log_path, threads, extra_switches="", html=False, mem_mb=None):
    """Runs Vennrick on one table into OUTDIR (made here), with its stdout and stderr in LOG_PATH, and writes
    OUTDIR/status.json saying how it went. Returns the status record; never raises for a failed run, so that a
    failing table fails only itself and the summary still gets made."""
    os.makedirs(outdir, exist_ok=True)
    os.makedirs(os.path.dirname(os.path.abspath(log_path)), exist_ok=True)
    name = table["name"]
    # Run in the table's folder, so that the report names its files relative to it.
    outdir = os.path.abspath(outdir)
    words = list(table.get("words") or shlex.split(table.get("switches", "")))
    words += shlex.split(extra_switches or "")
    command = [binary, "-M", "manhattan", "-file", os.path.abspath(table["path"]), "-out", name + ".hits"]
    command += words + ["-figuretitle", name] + DEFAULT_SWITCHES
    command += ["-report", "json", "-threads", str(threads)]
    if html:
        command += ["-html", "yes"]
    started = time.time()
    status = {"name": name, "input": table["path"], "command": command, "report": name + ".hits.json",
              "mem_mb_requested": mem_mb, "threads": threads, "slurm_job_id": os.environ.get("SLURM_JOB_ID")}
    with open(log_path, "w", encoding="utf-8", errors="replace") as log:
        log.write("command: " + " ".join(shlex.quote(w) for w in command) + "\n")
        log.flush()
        try:
            proc = subprocess.run(command, stdout=log, stderr=subprocess.PIPE, cwd=outdir)
            err = proc.stderr.decode("utf-8", "replace")
            code = proc.returncode
        except OSError as e:
            err = f"vennrick: cannot start '{binary}': {e}\n"
            code = 127
        log.write(err)
        status["elapsed_s"] = round(time.time() - started, 3)
        status["exit_status"] = code
        report_path = os.path.join(outdir, status["report"])
        report = None
        try:
            with open(report_path, encoding="utf-8") as f:
                report = json.load(f)
        except (OSError, ValueError):
            pass
        if code == 0 and report is not None and report.get("status") == "ok":
            status["status"] = "ok"
            status["message"] = ""
            # the page's thumbnails, made here so that the gathering does not make them all one after another
            import gather
            gather.write_thumbnails(os.path.join(outdir, f["path"]) for f in report.get("files", [])
                                    if isinstance(f, dict) and f.get("kind") in ("manhattan", "qq")
                                    and isinstance(f.get("path"), str))
        else:
            status["status"] = "failed"
            if code < 0:
                sig = -code
                try:
                    signame = signal.Signals(sig).name
                except ValueError:
                    signame = str(sig)
                message = f"killed by signal {signame}"
                if sig == signal.SIGKILL and mem_mb:
                    message += f" (out of memory? the job asked for {mem_mb} MB)"
            elif report is not None and report.get("message"):
                message = str(report["message"]).strip()
            elif code != 0:
                message = _last_message(err) or f"exit status {code}"
            else:
                message = f"no report '{status['report']}' was written"
            status["message"] = message.replace("\n", " ")
            log.write(f"vennrick-workflow: table '{name}' failed: {status['message']}\n")
            sys.stderr.write(f"vennrick-workflow: table '{name}' failed: {status['message']} (log: {log_path})\n")
    tmp = os.path.join(outdir, ".status.json.tmp")
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(status, f, indent=1)
        f.write("\n")
    os.replace(tmp, os.path.join(outdir, "status.json"))
    return status


def main_run(argv):
    """batch.py run: one table's run, as the Snakefile's table rule calls it."""
    import argparse
    p = argparse.ArgumentParser(prog="batch.py run")
    p.add_argument("--vennrick", required=True)
    p.add_argument("--table", required=True, help="JSON: name, path, words")
    p.add_argument("--outdir", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--threads", type=int, required=True)
    p.add_argument("--switches", default="")
    p.add_argument("--html", choices=["yes", "no"], default="no")
    p.add_argument("--mem-mb", type=int, default=None)
    a = p.parse_args(argv)
    run_table(a.vennrick, json.loads(a.table), a.outdir, a.log, a.threads, extra_switches=a.switches,
              html=a.html == "yes", mem_mb=a.mem_mb)
    return 0


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "run":
        sys.exit(main_run(sys.argv[2:]))
    if len(sys.argv) == 3 and sys.argv[1] == "check":
        try:
            for t in read_sheet(sys.argv[2]):
                print(f"{t['name']}\t{t['path']}\t{estimate_rows(t['path'])}")
        except SheetError as e:
            print(f"vennrick-workflow: {e}", file=sys.stderr)
            sys.exit(1)
    else:
        print("usage: batch.py check SHEET | batch.py run ...", file=sys.stderr)
        sys.exit(2)
