#!/bin/bash
# The workflow on a real Slurm: starts a one-node cluster on this machine (munged, slurmctld, slurmd; every file
# in a scratch folder, localhost only, ports of its own), runs the workflow through workflow/profiles/slurm on a
# few generated tables grouped into two jobs, checks in the controller's job completion log that every table ran
# in a Slurm job that completed, and that the outputs equal those of a local run. Stops every daemon it started
# and removes the scratch folder on every way out; bounded in time.
#
#   tests/workflow/slurm_test.sh BUILD/vennrick
#
# Prints "SKIPPED: <why>" and exits 0 when not root or when Slurm, munge or snakemake are missing.
set -u
[ $# -eq 1 ] || { echo "usage: $0 VENNRICK_BINARY" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
vennrick=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")

# The whole test is bounded: re-run under timeout (the EXIT trap below still cleans up on the TERM it sends).
if [ -z "${VENNRICK_SLURM_TEST_BOUNDED:-}" ]; then
    VENNRICK_SLURM_TEST_BOUNDED=1 exec timeout --kill-after=40 "${VENNRICK_SLURM_TEST_SECONDS:-250}" "$0" "$@"
fi

skip() { echo "SKIPPED: $*"; exit 0; }
py=/usr/bin/python3
[ -x "$py" ] || py=$(command -v python3)
[ "$(id -u)" -eq 0 ] || skip "the one-node Slurm cluster needs root (slurmd starts jobs as their user)"
for tool in munged mungekey slurmctld slurmd sbatch scontrol snakemake python3; do
    command -v "$tool" >/dev/null 2>&1 || PATH="$PATH:/usr/sbin:/sbin" command -v "$tool" >/dev/null 2>&1 ||
        skip "$tool is not installed (scripts/install-deps.sh installs slurmctld slurmd slurm-client munge snakemake)"
done
export PATH="$PATH:/usr/sbin:/sbin"
# slurmd starts only where the control groups are mounted (a chroot or a container without them cannot run it)
[ -n "$(ls -A /sys/fs/cgroup 2>/dev/null)" ] || skip "no control group file system at /sys/fs/cgroup, which slurmd needs"

scratch=$(mktemp -d /tmp/vennrick-slurm-test.XXXXXX)
chmod 700 "$scratch"
pids=()
child=""
# Long steps run in the background and are waited for, so that a TERM from the timeout is handled at once.
# bounded LOG COMMAND...: COMMAND's output goes to LOG.
bounded() {
    local log=$1
    shift
    setsid "$@" >"$log" 2>&1 &  # a process group of its own (snakemake and what it starts), stopped as one
    child=$!
    wait "$child"
    local status=$?
    child=""
    return $status
}
cleanup() {
    local status=$?
    # a workflow still running first (its process group), then the jobs in the queue, then the daemons, each
    # by the pid this script started
    if [ -n "$child" ]; then
        kill -TERM -- "-$child" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$child" 2>/dev/null || break; sleep 0.1; done
        kill -KILL -- "-$child" 2>/dev/null
        wait "$child" 2>/dev/null
    fi
    if [ -f "$scratch/etc/slurm.conf" ] && [ ${#pids[@]} -ge 3 ]; then
        export SLURM_CONF="$scratch/etc/slurm.conf"
        timeout 10 scancel --user=root >/dev/null 2>&1
        # the jobs' step daemons end with their jobs; the controller must still run to see them end
        for _ in $(seq 10); do [ -z "$(timeout 2 squeue -h 2>/dev/null)" ] && break; sleep 0.3; done
    fi
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        for _ in $(seq 50); do kill -0 "${pids[i]}" 2>/dev/null || break; sleep 0.1; done
        kill -9 "${pids[i]}" 2>/dev/null
        wait "${pids[i]}" 2>/dev/null
    done
    # Anything the daemons started that is still there (a job's step daemon, its processes): every process
    # started with this cluster's SLURM_CONF in its environment, which only this script's children have.
    for proc in /proc/[0-9]*; do
        [ "${proc#/proc/}" = $$ ] && continue
        if { tr '\0' '\n' <"$proc/environ"; } 2>/dev/null | grep -qxF "SLURM_CONF=$scratch/etc/slurm.conf"; then
            kill -9 "${proc#/proc/}" 2>/dev/null
        fi
    done
    [ -n "${KEEP_SCRATCH:-}" ] && { echo "kept $scratch"; exit $status; }; rm -rf "$scratch"
    exit $status
}
trap cleanup EXIT
trap 'echo "FAIL: stopped by a signal (time limit?)"; exit 1' TERM INT HUP

fail() {
    echo "FAIL: $*"
    for f in "$scratch"/log/*.log; do [ -f "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }; done
    exit 1
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

mkdir -p "$scratch"/{etc,log,munge,state,spool,run,work}
chmod 700 "$scratch/munge"

# munge, on a socket and with a key of its own
mungekey --create --keyfile="$scratch/munge/munge.key" >/dev/null 2>&1 ||
    dd if=/dev/urandom of="$scratch/munge/munge.key" bs=1024 count=1 status=none
chmod 600 "$scratch/munge/munge.key"
munged --foreground --force --socket="$scratch/munge/munge.sock" --key-file="$scratch/munge/munge.key" \
    --pid-file="$scratch/munge/munged.pid" --log-file="$scratch/log/munged.log" \
    --seed-file="$scratch/munge/munged.seed" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -S "$scratch/munge/munge.sock" ] && break; sleep 0.1; done
[ -S "$scratch/munge/munge.sock" ] || fail "munged did not start"

host=$(hostname -s)
cpus=$(nproc)
mem_mb=$(awk '/^MemTotal:/ { print int($2 / 1024 * 0.8) }' /proc/meminfo)
cat >"$scratch/etc/slurm.conf" <<EOF
ClusterName=vennricktest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$scratch/munge/munge.sock
CredType=cred/munge
StateSaveLocation=$scratch/state
SlurmdSpoolDir=$scratch/spool
SlurmctldPidFile=$scratch/run/slurmctld.pid
SlurmdPidFile=$scratch/run/slurmd.pid
SlurmctldLogFile=$scratch/log/slurmctld.log
SlurmdLogFile=$scratch/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SwitchType=switch/none
MpiDefault=none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/filetxt
JobCompLoc=$scratch/log/jobcomp.txt
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
ReturnToService=2
MailProg=/bin/true
MinJobAge=600
KillWait=2
SlurmctldTimeout=30
SlurmdTimeout=30
NodeName=vnode1 NodeHostname=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$mem_mb State=UNKNOWN
PartitionName=test Nodes=vnode1 Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$scratch/etc/slurm.conf"

slurmctld -D -c -f "$SLURM_CONF" >"$scratch/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -N vnode1 -f "$SLURM_CONF" >"$scratch/log/slurmd.out" 2>&1 &
pids+=($!)
ready=""
for _ in $(seq 100); do
    if timeout 5 sinfo -h -N -o '%T' 2>/dev/null | grep -qx idle; then ready=1; break; fi
    sleep 0.3
done
[ -n "$ready" ] || fail "the Slurm node did not become idle: $(timeout 5 sinfo -N 2>&1 | tr '\n' ' ')"

# five tables, one of them broken; the same sheet locally and on Slurm
"$py" "$here/make_tables.py" "$scratch/tables" 5000 || fail "cannot generate the tables"
sheet="$scratch/sheet.tsv"
printf 'name\tpath\tswitches\n' >"$sheet"
printf 'plink\tplink.assoc\t\nregenie\tregenie.regenie\t\ngz\tgzip.tsv.gz\t\n' >>"$sheet"
printf 'bgz\tbgzip.tsv.gz\t-chr 1-22;X\nbroken\tbroken.tsv\t\n' >>"$sheet"
mv "$sheet" "$scratch/tables/sheet.tsv"
sheet="$scratch/tables/sheet.tsv"

cd "$scratch/work" || fail "no work folder"
common=(-s "$repo/workflow/Snakefile" --config "sheet=$sheet" "vennrick=$vennrick" threads=1 max_jobs=2)

bounded "$scratch/log/local-snakemake.log" timeout 120 snakemake "${common[@]}" outdir=local --cores 2
status=$?
[ $status -eq 1 ] || fail "the local run exited with $status (expected 1: one table fails)"

bounded "$scratch/log/slurm-snakemake.log" \
    timeout 180 snakemake "${common[@]}" outdir=slurm --profile "$repo/workflow/profiles/slurm"
status=$?
[ $status -eq 1 ] || { tail -n 40 "$scratch/log/slurm-snakemake.log"; fail "the Slurm run exited with $status (expected 1: one table fails)"; }
grep -q "1 of 5 tables failed: broken" "$scratch/log/slurm-snakemake.log" ||
    fail "the Slurm run does not say that table 'broken' failed"

# Every table ran in a Slurm job that the controller recorded as completed; the five make two jobs.
"$py" - "$scratch" <<'EOF' || fail "the job completion log does not show the tables' jobs"
import json, re, sys
scratch = sys.argv[1]
comp = open(f"{scratch}/log/jobcomp.txt").read().splitlines()
jobs = {}
for line in comp:
    f = dict(re.findall(r"(\w+)=(\S*)", line))
    jobs[f.get("JobId")] = f
names = ["bgz", "broken", "gz", "plink", "regenie"]
used = set()
for n in names:
    st = json.load(open(f"{scratch}/work/slurm/tables/{n}/status.json"))
    jid = st.get("slurm_job_id")
    assert jid, f"table {n} did not run in a Slurm job"
    assert jid in jobs, f"table {n}: Slurm job {jid} is not in the job completion log"
    assert jobs[jid].get("JobState") == "COMPLETED", f"table {n}: job {jid} is {jobs[jid].get('JobState')}"
    assert jobs[jid].get("Name", "").startswith("vennrick-tables"), jobs[jid].get("Name")
    used.add(jid)
    local = json.load(open(f"{scratch}/work/local/tables/{n}/status.json"))
    assert local.get("slurm_job_id") is None, f"table {n} of the local run claims Slurm job {local.get('slurm_job_id')}"
assert len(used) == 2, f"5 tables with max_jobs=2 ran in {len(used)} Slurm jobs, expected 2"
print(f"slurm: 5 tables in jobs {sorted(used, key=int)}, all COMPLETED in the job completion log")
EOF

# The outputs equal those of the local run: every file byte for byte, the reports but for their times.
"$py" - "$scratch/work" <<'EOF' || fail "the Slurm run's outputs differ from the local run's"
import json, os, sys
os.chdir(sys.argv[1])
def files(root):
    out = set()
    for d, _, fs in os.walk(root):
        for f in fs:
            out.add(os.path.relpath(os.path.join(d, f), root))
    return out
a, b = files("local/tables"), files("slurm/tables")
assert a == b, f"different files: {sorted(a ^ b)}"
def untimed(v):
    if isinstance(v, dict):
        return {k: untimed(x) for k, x in v.items() if k not in ("ms", "elapsed_ms", "elapsed_s", "slurm_job_id")}
    if isinstance(v, list):
        return [untimed(x) for x in v]
    return v
def png_difference(x, y):
    """Where two PNGs of one size differ: the rows and the byte columns of their filtered pixel rows."""
    import struct, zlib
    def rows(data):
        at, idat, width, height = 8, b"", 0, 0
        while at < len(data):
            length, kind = struct.unpack(">I4s", data[at:at + 8])
            if kind == b"IHDR":
                width, height = struct.unpack(">II", data[at + 8:at + 16])
            if kind == b"IDAT":
                idat += data[at + 8:at + 8 + length]
            at += 12 + length
        raw = zlib.decompress(idat)
        stride = len(raw) // max(height, 1)
        return width, [raw[i * stride:(i + 1) * stride] for i in range(height)]
    (wx, rx), (wy, ry) = rows(x), rows(y)
    if wx != wy or len(rx) != len(ry):
        return f": sizes {wx}x{len(rx)} against {wy}x{len(ry)}"
    diff = [(r, c) for r in range(len(rx)) if rx[r] != ry[r] for c in range(len(rx[r])) if rx[r][c] != ry[r][c]]
    return (f": {len(diff)} bytes in rows {min(d[0] for d in diff)}..{max(d[0] for d in diff)}, "
            f"byte columns {min(d[1] for d in diff)}..{max(d[1] for d in diff)} ({wx} pixels wide)")
compared = 0
for rel in sorted(a):
    x, y = open(f"local/tables/{rel}", "rb").read(), open(f"slurm/tables/{rel}", "rb").read()
    if rel.endswith(".json"):
        ux, uy = untimed(json.loads(x)), untimed(json.loads(y))
        assert ux == uy, f"{rel} differs: " + "; ".join(
            f"{k}: {json.dumps(ux.get(k))[:300]} against {json.dumps(uy.get(k))[:300]}"
            for k in sorted(set(ux) | set(uy)) if ux.get(k) != uy.get(k))
    else:
        assert x == y, f"{rel} differs" + (png_difference(x, y) if rel.endswith(".png") else "")
    compared += 1
assert open("local/summary.tsv", "rb").read() == open("slurm/summary.tsv", "rb").read(), "summary.tsv differs"
print(f"slurm: summary.tsv and {compared} table files equal to the local run's")
EOF
grep -q "the p-value field 'not-a-number' is not a number" "$scratch/work/slurm/logs/broken.log" ||
    fail "the failed table's log does not hold its message"
echo "PASS: workflow on Slurm"
