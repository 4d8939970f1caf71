#!/usr/bin/env python3
"""Every system call of an orvik run made to fail in turn, or the process
killed there: the names file, both tables and the compiled table are each
either old or new, a failed run says so in one line on standard error and
leaves no temporary file, and the run after a killed one cleans up and
succeeds.

Usage: orvik_syscall_faults.py ORVIK

Each fault is injected with strace (-e inject=SYSCALL:error=ERR:when=N, or
signal=KILL) into a fresh scratch root, for runs without options (input on
standard input) and with --update-names.
"""
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

NAMES = "0 -- Unknown\n13 au Australia\n45 cn China\n"
# The old files are what a run on OLD_INPUT made.
OLD_INPUT = "".join([
    '"9.0.0.0","9.0.0.255","150994944","150995199","AU","Australia"\n',
    '"2001:db8::","2001:db8::ffff","42540766411282592856903984951653826560",'
    '"42540766411282592856903984951653892095","AU","Australia"\n',
])
FILES = ["countries", "countries.ips", "countries6.ips", "countries.ipt"]
INPUT = "".join([
    '"1.0.0.0","1.0.0.255","16777216","16777471","AU","Australia"\n',
    '"1.0.1.0","1.0.3.255","16777472","16778239","CN","China"\n',
    '"1.0.4.0","1.0.7.255","16778240","16779263","JP","Japan"\n',
    '"2001:200::","2001:200::ffff","42540528726795050063891204319802818560",'
    '"42540528726795050063891204319802884095","JP","Japan"\n',
    '"2001:250::","2001:250::ffff","42540535065048051205038211803318845440",'
    '"42540535065048051205038211803318910975","CN","China"\n',
])
MODES = {"plain": [], "update-names": ["--update-names"]}
# The calls a run makes on files and locks; the loader's own calls before
# main are left out (a program that cannot start changes nothing).
SYSCALLS = ["openat", "read", "write", "close", "fsync", "rename", "newfstatat", "fstat",
            "statx", "mkdir", "symlink", "fcntl", "flock", "unlink", "unlinkat", "getdents64",
            "lseek", "kill"]
FAULTS = ["error=EIO", "error=ENOSPC", "error=EMFILE", "error=EINTR", "signal=KILL"]
# The first call of the program itself: prepare_process ignores SIGXFSZ.
MAIN_MARKER = re.compile(r"^rt_sigaction\(SIGXFSZ")
LOGGER_LINE = re.compile(r"^\d\d:\d\d:\d\d\|orvik\| ")
TEMPORARY = re.compile(r"^countries(\.ips|6\.ips|\.ipt)?\.\d+$")


def make_template(orvik, parent):
    """A root holding the old files: the names, and what orvik made of
    OLD_INPUT (both tables and the compiled table)."""
    root = os.path.join(parent, "template")
    os.makedirs(os.path.join(root, "conf"))
    with open(os.path.join(root, "conf", "countries"), "w") as f:
        f.write(NAMES)
    subprocess.run([orvik, "-r", root], input=OLD_INPUT, text=True, check=True)
    shutil.rmtree(os.path.join(root, "logs"))
    return root


def fresh_root(parent, name):
    root = os.path.join(parent, name)
    shutil.rmtree(root, ignore_errors=True)
    shutil.copytree(os.path.join(parent, "template"), root)
    os.makedirs(os.path.join(root, "logs"))
    with open(os.path.join(root, "input.csv"), "w") as f:
        f.write(INPUT)
    return root


# The compiled table records when its sources were written, and its checksum
# covers that: both are left out of the comparison (offsets from the header
# layout in lib/ip_ranges/internal/compiled_format.h).
CHECKSUM = slice(32, 40)
SOURCE_STAMPS = slice(224, 272)


def comparable(file, data):
    if file != "countries.ipt" or data is None or len(data) < SOURCE_STAMPS.stop:
        return data
    data = bytearray(data)
    data[CHECKSUM] = bytes(CHECKSUM.stop - CHECKSUM.start)
    data[SOURCE_STAMPS] = bytes(SOURCE_STAMPS.stop - SOURCE_STAMPS.start)
    return bytes(data)


def run(orvik, root, mode, strace_args=()):
    args = list(MODES[mode])
    if mode == "update-names":
        args.append(os.path.join(root, "input.csv"))
    command = ["strace", "-qq", "-o", "/dev/null", *strace_args, orvik, "-r", root, *args]
    if not strace_args:
        command = [orvik, "-r", root, *args]
    with open(os.path.join(root, "input.csv")) as stdin:
        done = subprocess.run(command, stdin=stdin, capture_output=True, text=True, timeout=60)
    return done.returncode, done.stderr


def files(root):
    conf = os.path.join(root, "conf")
    result = {}
    for file in FILES:
        try:
            with open(os.path.join(conf, file), "rb") as f:
                result[file] = comparable(file, f.read())
        except FileNotFoundError:
            result[file] = None
    temporaries = sorted(n for n in os.listdir(conf) if TEMPORARY.match(n))
    return result, temporaries


def own_calls(orvik, parent, mode):
    """Per system call, the numbers (1-based, as strace's when= counts them)
    of the calls the program itself makes."""
    root = fresh_root(parent, "trace-" + mode)
    trace = os.path.join(parent, "trace-" + mode + ".txt")
    args = list(MODES[mode]) + ([os.path.join(root, "input.csv")] if mode != "plain" else [])
    with open(os.path.join(root, "input.csv")) as stdin:
        subprocess.run(["strace", "-qq", "-o", trace, "-e", "trace=all", orvik, "-r", root, *args],
                       stdin=stdin, check=True, capture_output=True)
    seen, calls, in_main = {}, {}, False
    with open(trace) as f:
        for line in f:
            name = line.split("(", 1)[0]
            in_main = in_main or bool(MAIN_MARKER.match(line))
            seen[name] = seen.get(name, 0) + 1
            if in_main and name in SYSCALLS:
                calls.setdefault(name, []).append(seen[name])
    return calls


def check_one(orvik, parent, mode, old, new, call, number, fault):
    """(outcome, problem): how the run ended, and '' when it kept the
    rules, else what went wrong."""
    label = f"{mode} {call}#{number} {fault}"
    root = fresh_root(parent, label.replace(" ", "_").replace("#", "-").replace("=", "-"))
    try:
        status, err = run(orvik, root, mode,
                          ["-e", f"trace={call}", "-e", f"inject={call}:{fault}:when={number}"])
        return outcome_name(status), judge(orvik, root, mode, old, new, label, status, err)
    finally:
        shutil.rmtree(root, ignore_errors=True)


def outcome_name(status):
    return {0: "succeeded", 1: "failed", -9: "killed", 137: "killed"}.get(status, str(status))


def judge(orvik, root, mode, old, new, label, status, err):
    """'' when the run that ended with status kept the rules."""
    got, temporaries = files(root)
    for file, data in got.items():
        if data != old[file] and data != new[file]:
            return f"{label}: {file} is neither old nor new: {data!r}"
    lines = err.splitlines()
    own = [l for l in lines if not LOGGER_LINE.match(l)]
    if status == 0:
        if got != new:
            return f"{label}: status 0 but not every file is new"
        if own:
            return f"{label}: status 0 with {own!r} on standard error"
    elif status == 1:
        if len(own) != 1 or not own[0].startswith("orvik: "):
            return f"{label}: status 1 with {lines!r} on standard error"
        if temporaries:
            return f"{label}: failed run left {temporaries}"
    elif status == -9 or status == 137:
        status, err = run(orvik, root, mode)  # the next run cleans up after the killed one
        got, temporaries = files(root)
        if status != 0 or got != new or temporaries:
            return f"{label}: run after the kill: status {status}, {err!r}, left {temporaries}"
    else:
        return f"{label}: exit status {status}, {err!r}"
    return ""


def main():
    orvik = sys.argv[1]
    if shutil.which("strace") is None:
        print("strace is not installed: skipped")
        return 77
    parent = tempfile.mkdtemp(prefix="orvik-faults.")
    try:
        make_template(orvik, parent)
        old, _ = files(os.path.join(parent, "template"))
        assert None not in old.values(), old
        jobs = []
        with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
            for mode in MODES:
                root = fresh_root(parent, "new-" + mode)
                status, err = run(orvik, root, mode)
                assert status == 0, err
                new, _ = files(root)
                assert all(new[file] != old[file] for file in FILES if file != "countries") \
                    and (mode == "plain") == (new["countries"] == old["countries"])
                for call, numbers in own_calls(orvik, parent, mode).items():
                    for number in numbers:
                        for fault in FAULTS:
                            jobs.append(pool.submit(check_one, orvik, parent, mode, old, new,
                                                    call, number, fault))
            results = [job.result() for job in jobs]
        problems = [problem for _, problem in results if problem]
        outcomes = {}
        for outcome, _ in results:
            outcomes[outcome] = outcomes.get(outcome, 0) + 1
        for problem in problems:
            print(problem)
        print(f"{len(results)} runs with a fault ({outcomes}), {len(problems)} broke the rules")
        return 1 if problems else 0
    finally:
        shutil.rmtree(parent, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
