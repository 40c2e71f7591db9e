#!/usr/bin/env python3
"""Tells Snakemake how a Slurm job is doing (its --cluster-status command): prints running, success or failed.

Asks `scontrol show job`, which needs no accounting database. A job the controller no longer knows (it forgets
finished jobs after MinJobAge, 300 s by default) is looked up with sacct where accounting runs; failing that it
is reported as success, and Snakemake then checks that the job's outputs exist (a job that did not finish
leaves none, and counts as failed). When the controller cannot be reached, the job is still running.
"""
import re
import subprocess
import sys
import time

RUNNING = {"PENDING", "CONFIGURING", "RUNNING", "COMPLETING", "SUSPENDED", "REQUEUED", "REQUEUE_HOLD",
           "REQUEUE_FED", "RESIZING", "SIGNALING", "STAGE_OUT", "STOPPED", "RESV_DEL_HOLD", "SPECIAL_EXIT"}
SUCCESS = {"COMPLETED"}


def verdict(state):
    state = state.split()[0].rstrip("+") if state else ""
    if state in SUCCESS:
        return "success"
    if state in RUNNING:
        return "running"
    return "failed"  # FAILED CANCELLED TIMEOUT OUT_OF_MEMORY NODE_FAIL BOOT_FAIL DEADLINE PREEMPTED ...


def main():
    jobid = sys.argv[1]
    for attempt in range(3):
        r = subprocess.run(["scontrol", "show", "job", "-o", jobid], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           text=True)
        m = re.search(r"\bJobState=(\S+)", r.stdout)
        if r.returncode == 0 and m:
            print(verdict(m.group(1)))
            return
        if "Invalid job id" in r.stderr:
            break
        time.sleep(1 + attempt)
    else:
        print("running")  # the controller did not answer; ask again at the next check
        return
    try:
        r = subprocess.run(["sacct", "-n", "-X", "-P", "-j", jobid, "-o", "State"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True, timeout=30)
        states = [s for s in r.stdout.split() if s]
        if r.returncode == 0 and states:
            print(verdict(states[0]))
            return
    except (OSError, subprocess.SubprocessError):
        pass
    print("success")


if __name__ == "__main__":
    main()
