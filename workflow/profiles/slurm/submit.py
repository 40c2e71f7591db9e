#!/usr/bin/env python3
"""Submits one Snakemake job script to Slurm and prints the job id (Snakemake's --cluster command).

The job's CPUs, memory and time come from its properties (threads, resources mem_mb and runtime, which the
Snakefile sets from each table's size). Further sbatch switches come from the environment:
  VENNRICK_SLURM_ACCOUNT    --account
  VENNRICK_SLURM_PARTITION  --partition
  VENNRICK_SBATCH_ARGS      anything else, split like a shell would (e.g. "--qos=short --constraint=ssd")
Slurm's own output of a job goes to OUTDIR/logs/slurm/ (the Vennrick messages are in OUTDIR/logs/NAME.log).
"""
import json
import os
import re
import shlex
import subprocess
import sys


def job_properties(jobscript):
    with open(jobscript, encoding="utf-8") as f:
        for line in f:
            m = re.match(r"^# properties = (.*)$", line)
            if m:
                return json.loads(m.group(1))
    raise SystemExit(f"submit.py: no properties line in {jobscript}")


def main():
    jobscript = sys.argv[-1]
    props = job_properties(jobscript)
    resources = props.get("resources", {})
    threads = int(props.get("threads") or resources.get("_cores") or 1)
    name = props.get("groupid") or props.get("rule") or "vennrick"
    # Slurm's output of the job: OUTDIR/logs/slurm/, found from the job's first output, OUTDIR/tables/NAME
    outputs = [o for o in props.get("output", []) if o]
    outdir = os.path.dirname(os.path.dirname(os.path.normpath(outputs[0]))) if outputs else "."
    logdir = os.path.join(outdir, "logs", "slurm")
    os.makedirs(logdir, exist_ok=True)
    args = ["sbatch", "--parsable", f"--job-name=vennrick-{name}", f"--cpus-per-task={threads}",
            f"--output={os.path.join(logdir, 'vennrick-' + name + '-%j.out')}"]
    if "mem_mb" in resources:
        args.append(f"--mem={int(resources['mem_mb'])}M")
    if "runtime" in resources:
        args.append(f"--time={max(1, int(resources['runtime']))}")
    if os.environ.get("VENNRICK_SLURM_ACCOUNT"):
        args.append(f"--account={os.environ['VENNRICK_SLURM_ACCOUNT']}")
    if os.environ.get("VENNRICK_SLURM_PARTITION"):
        args.append(f"--partition={os.environ['VENNRICK_SLURM_PARTITION']}")
    args += shlex.split(os.environ.get("VENNRICK_SBATCH_ARGS", ""))
    args.append(jobscript)
    r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if r.returncode != 0:
        sys.stderr.write(f"submit.py: {' '.join(shlex.quote(a) for a in args)} failed: {r.stderr.strip()}\n")
        return r.returncode or 1
    # --parsable prints "jobid" or "jobid;cluster"
    print(r.stdout.strip().split(";")[0])
    return 0


if __name__ == "__main__":
    sys.exit(main())
