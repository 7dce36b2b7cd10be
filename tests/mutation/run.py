#!/usr/bin/env python3
"""Mutation check of the native suites.

Puts each fault of mutants.py into a scratch worktree of HEAD, one at a
time, builds the linux preset there and runs its suites (without the large
and the crash tests). Prints KILLED when a suite failed, SURVIVED when all
passed. Takes about 25 s per fault on two cores once the first build is done.

    tests/mutation/run.py [id ...]
"""
import os
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
root = subprocess.check_output(["git", "-C", here, "rev-parse", "--show-toplevel"], text=True).strip()
sys.path.insert(0, here)
from mutants import MUTANTS  # noqa: E402

chosen = [m for m in MUTANTS if len(sys.argv) < 2 or m[0] in sys.argv[1:]]
work = tempfile.mkdtemp(prefix="corva-mutation-")
tree = os.path.join(work, "tree")
subprocess.check_call(["git", "-C", root, "worktree", "add", "--detach", tree, "HEAD"], stdout=subprocess.DEVNULL)


def run(args, log):
    with open(log, "a") as f:
        return subprocess.call(args, cwd=tree, stdout=f, stderr=subprocess.STDOUT)


try:
    base = os.path.join(work, "base.log")
    if run(["cmake", "--preset", "linux"], base) or run(["cmake", "--build", "--preset", "linux"], base):
        sys.exit("the unchanged tree does not build; see " + base)
    killed = 0
    for ident, path, old, new, what in chosen:
        file = os.path.join(tree, path)
        original = open(file).read()
        if original.count(old) != 1:
            print("%-26s NOT FOUND  %s" % (ident, what))
            continue
        open(file, "w").write(original.replace(old, new, 1))
        log = os.path.join(work, ident + ".log")
        began = time.time()
        if run(["cmake", "--build", "--preset", "linux"], log):
            outcome = "NO BUILD"
        elif run(["ctest", "--preset", "linux", "-E", "engine_large|crash_campaign", "--timeout", "300"], log):
            outcome = "KILLED"
            killed += 1
        else:
            outcome = "SURVIVED"
        open(file, "w").write(original)
        print("%-26s %-10s %4ds  %s" % (ident, outcome, time.time() - began, what), flush=True)
    print("%d of %d faults caught; logs in %s" % (killed, len(chosen), work))
finally:
    subprocess.call(["git", "-C", root, "worktree", "remove", "--force", tree])
