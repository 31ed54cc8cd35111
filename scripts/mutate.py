#!/usr/bin/env python3
"""The mutation run: puts one plausible fault at a time into a copy of src/
and tells which ones the tests let through.

    python3 scripts/mutate.py               # every mutant of the list
    python3 scripts/mutate.py --check       # the list still applies (quick)
    python3 scripts/mutate.py --only REGEX  # the mutants whose file:line or fault match

The mutants are in tests/mutation/mutants.txt (its head says how they are
written). Each is applied to a scratch copy of the tree in build/mutation/tree,
never to the work tree, and built there incrementally: the host's unit tests
run first, and only a mutant that survives them meets the Windows suite
(ctest --preset win64 under Wine, without the release's rebuilds). A mutant
is killed when a build of tests fails or any test fails or hangs; a mutant
whose program does not build at all is an error of the list.

The score is killed / (all - equivalent); the report also goes to
build/mutation/report.txt.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
LIST = ROOT / "tests" / "mutation" / "mutants.txt"
SCRATCH = ROOT / "build" / "mutation"
TREE = SCRATCH / "tree"

# Files the host does not compile: only the Windows suite can catch a fault
# in them.
WINDOWS_ONLY = re.compile(
    r"(-win32\.cc|\.rc|\.rci|\.manifest|^src/run/main\.cc|^src/check/main\.cc"
    r"|^src/run/output-stdio\.cc)$")
# The Windows suite in two stages: the Win32 pieces' own tests, which take
# seconds, then the end-to-end runs of both programs. The release tests
# rebuild the whole tree from scratch twice; the programs they make are the
# ones the end-to-end tests already run.
# Each stage with the time one of its tests may take before it counts as
# hung: many times what it needs on a busy machine.
# The check's end-to-end tests come last: they wait out a hung devcon's two
# minutes, and most mutants that get this far fall to the others first.
WINDOWS_STAGES = (
    (["-R", r"^(win32_tests|library_search_tests)$"], 90),
    (["-E", r"^(reproducible_build|e2e\.signed_release|win32_tests|library_search_tests"
            r"|e2e\.test_check)$"], 240),
    (["-R", r"^e2e\.test_check$"], 240),
)
HOST_TIMEOUT = 180
# A fixed build time: the copy has no history, and a changing time would
# rebuild every Windows object.
FIXED_EPOCH = "1780000000"
KEYS = ("file", "find", "replace", "fault", "equivalent", "exempt")


@dataclass
class Mutant:
    file: str
    find: str = ""
    replace: str = ""
    fault: str = ""
    equivalent: str = ""
    exempt: str = ""  # why the file has fewer than three mutants
    line: int = 0  # of the block in the list
    at: int = 0  # line of the file the search text is on
    outcome: str = ""
    seconds: float = 0.0
    detail: str = ""

    @property
    def name(self):
        return f"{self.file}:{self.at}"


def parse(path):
    """Blocks of `key: value` lines, separated by blank lines; '#' starts a
    comment line. A value is everything after the first ': '."""
    blocks, current, errors = [], None, []
    for number, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if raw.startswith("#"):
            continue
        if not raw.strip():
            current = None
            continue
        key, sep, value = raw.partition(": ")
        if not sep or key not in KEYS:
            errors.append(f"{path.name}:{number}: not 'key: value' with a known key")
            continue
        if current is None:
            if key != "file":
                errors.append(f"{path.name}:{number}: a block starts with 'file: '")
                continue
            current = Mutant(file=value, line=number)
            blocks.append(current)
            continue
        if getattr(current, key):
            errors.append(f"{path.name}:{number}: '{key}' given twice")
        setattr(current, key, value)
    return blocks, errors


def check(blocks, errors, tree=ROOT):
    """Each search text is found exactly once in its file, the replacement
    differs, every file under src/ has three mutants or says why it cannot,
    and there are at least 80."""
    per_file = {}
    exempt = set()
    mutants = []
    for block in blocks:
        where = f"{LIST.name}:{block.line}"
        source = tree / block.file
        if not source.is_file():
            errors.append(f"{where}: {block.file} does not exist")
            continue
        if block.exempt:
            exempt.add(block.file)
            continue
        if not block.find or not block.fault:
            errors.append(f"{where}: a mutant needs 'find' and 'fault'")
            continue
        if block.find == block.replace:
            errors.append(f"{where}: the replacement changes nothing")
        text = source.read_text(encoding="utf-8")
        count = text.count(block.find)
        if count != 1:
            errors.append(f"{where}: found {count} times in {block.file}: {block.find}")
            continue
        block.at = text[:text.index(block.find)].count("\n") + 1
        per_file[block.file] = per_file.get(block.file, 0) + 1
        mutants.append(block)
    for source in sorted((tree / "src").rglob("*")):
        if not source.is_file():
            continue
        name = source.relative_to(tree).as_posix()
        if name in exempt:
            continue
        if per_file.get(name, 0) < 3:
            errors.append(f"{name}: {per_file.get(name, 0)} mutants, fewer than 3 "
                          "(and no 'exempt: <reason>' block)")
    if len(mutants) < 80:
        errors.append(f"{len(mutants)} mutants, fewer than 80")
    return mutants


def work_tree_files():
    listed = subprocess.run(
        ["git", "-C", str(ROOT), "ls-files", "-z", "--cached", "--others",
         "--exclude-standard"], check=True, capture_output=True).stdout
    return sorted({name for name in listed.decode().split("\0")
                   if name and (ROOT / name).is_file()})


def sync_tree():
    """Makes the copy hold the work tree's files as they are now. Only files
    whose bytes differ are written, so that the copy's builds stay
    incremental; a mutant left behind by an interrupted run is undone."""
    wanted = set(work_tree_files())
    TREE.mkdir(parents=True, exist_ok=True)
    for name in wanted:
        source, copy = ROOT / name, TREE / name
        data = source.read_bytes()
        if not copy.is_file() or copy.read_bytes() != data:
            copy.parent.mkdir(parents=True, exist_ok=True)
            copy.write_bytes(data)
        shutil.copymode(source, copy)
    for copy in sorted(TREE.rglob("*"), reverse=True):
        relative = copy.relative_to(TREE).as_posix()
        if relative == "build" or relative.startswith("build/"):
            continue
        if copy.is_file() and relative not in wanted:
            copy.unlink()
        elif copy.is_dir() and not any(copy.iterdir()):
            copy.rmdir()


def environment():
    env = dict(os.environ)
    env["SOURCE_DATE_EPOCH"] = FIXED_EPOCH
    return env


def run(command, timeout=None, log=None):
    """Runs `command` in the copy, niced; returns (ok, output tail)."""
    try:
        done = subprocess.run(["nice", "-n", "10", *command], cwd=TREE,
                              env=environment(), stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=timeout)
    except subprocess.TimeoutExpired as expired:
        output = (expired.stdout or b"").decode("utf-8", "replace")
        return False, "timed out after %ss\n%s" % (timeout, output[-2000:])
    output = done.stdout.decode("utf-8", "replace")
    if log is not None:
        log.write(f"$ {' '.join(command)}\n{output}\n")
    return done.returncode == 0, output[-3000:]


class Suites:
    def __init__(self, jobs, log):
        self.jobs = str(jobs)
        self.log = log

    def configure(self):
        # No optimisation and no debug information: each mutant's rebuild
        # is then quickest.
        for command in (["cmake", "--preset", "host", "-DCMAKE_BUILD_TYPE=",
                         "-DKOVEX_SANITIZED_TESTS=OFF", "-DKOVEX_BENCHMARKS=OFF"],
                        ["cmake", "--preset", "win64", "-DCMAKE_BUILD_TYPE="]):
            ok, output = run(command, log=self.log)
            if not ok:
                sys.exit(f"configuring the copy failed:\n{output}")

    def build_host(self):
        return run(["cmake", "--build", "--preset", "host", "-j", self.jobs,
                    "--target", "unit_tests"], log=self.log)

    def test_host(self):
        return run([str(TREE / "build" / "host" / "tests" / "unit_tests"),
                    "--gtest_brief=1"], timeout=HOST_TIMEOUT, log=self.log)

    def build_windows(self):
        return run(["cmake", "--build", "--preset", "win64", "-j", self.jobs],
                   log=self.log)

    def test_windows(self, stop_on_failure=True):
        """Each stage in turn, the fixtures that make and stop the Wine
        prefix included; the first failing stage ends it."""
        for stage, timeout in WINDOWS_STAGES:
            command = ["ctest", "--preset", "win64", *stage,
                       "--timeout", str(timeout)]
            if stop_on_failure:
                command.append("--stop-on-failure")
            ok, output = run(command, log=self.log)
            if not ok:
                return ok, output
        return True, output


def failed_tests(output):
    """The names of the failed tests in a gtest or ctest output tail."""
    names = [name for name in re.findall(r"\[  FAILED  \] (\S+)", output)
             if not name.isdigit()]  # not "[  FAILED  ] 2 tests, listed below"
    names += re.findall(r"\d+ - (\S+) \((?:Failed|Timeout|SEGFAULT|Subprocess)", output)
    if "timed out after" in output:
        names.append("(hung)")
    return ", ".join(dict.fromkeys(names)) or "(see build/mutation/run.log)"


def try_mutant(mutant, suites):
    source = TREE / mutant.file
    original = source.read_bytes()
    text = original.decode("utf-8")
    source.write_bytes(text.replace(mutant.find, mutant.replace, 1).encode("utf-8"))
    # The host's tests first, where the host compiles the file; the Windows
    # suite only for what they let through.
    stages = [("win64", suites.build_windows, suites.test_windows)]
    if not WINDOWS_ONLY.search(mutant.file):
        stages.insert(0, ("host", suites.build_host, suites.test_host))
    start = time.monotonic()
    try:
        for name, build, test in stages:
            ok, output = build()
            if not ok:
                mutant.outcome, mutant.detail = "unbuildable", f"{name} build failed"
                return
            ok, output = test()
            if not ok:
                mutant.outcome = "killed"
                mutant.detail = f"{name}: " + failed_tests(output)
                return
        mutant.outcome = "survived"
    finally:
        source.write_bytes(original)
        mutant.seconds = time.monotonic() - start


def stop(signal_number, frame):
    """A stopped run still puts the mutated file back (see try_mutant)."""
    raise SystemExit(f"stopped by signal {signal_number}")


def main():
    signal.signal(signal.SIGTERM, stop)
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--check", action="store_true",
                        help="only check that the list applies to the work tree")
    parser.add_argument("--only", metavar="REGEX",
                        help="run only the mutants whose file:line or fault match")
    parser.add_argument("--jobs", type=int, default=2, help="build jobs (2)")
    args = parser.parse_args()

    blocks, errors = parse(LIST)
    mutants = check(blocks, errors)
    if errors:
        print("\n".join(errors), file=sys.stderr)
        sys.exit(f"the mutant list does not apply: {len(errors)} problem(s)")
    if args.check:
        print(f"mutant list applies: {len(mutants)} mutants")
        return
    if args.only:
        pattern = re.compile(args.only)
        mutants = [m for m in mutants if pattern.search(f"{m.name} {m.fault}")]

    began = time.monotonic()
    SCRATCH.mkdir(parents=True, exist_ok=True)
    sync_tree()
    with open(SCRATCH / "run.log", "w", encoding="utf-8") as log:
        suites = Suites(args.jobs, log)
        suites.configure()
        # The unmutated tree must pass, or no outcome below means anything.
        for step, stage in ((suites.build_host, "host build"),
                            (suites.test_host, "host tests"),
                            (suites.build_windows, "win64 build"),
                            (lambda: suites.test_windows(False), "win64 tests")):
            ok, output = step()
            if not ok:
                sys.exit(f"the unmutated copy fails its {stage}:\n{output}")
        baseline = time.monotonic() - began
        print(f"unmutated copy built and passed in {baseline:.0f}s", flush=True)

        to_run = [m for m in mutants if not m.equivalent]
        for index, mutant in enumerate(to_run, 1):
            try_mutant(mutant, suites)
            log.flush()
            print(f"[{index}/{len(to_run)}] {mutant.outcome:>11} {mutant.seconds:5.0f}s "
                  f"{mutant.name}: {mutant.fault}"
                  + (f" ({mutant.detail})" if mutant.outcome != "survived" else ""),
                  flush=True)
        # Leave the copy's builds matching the work tree.
        suites.build_host()
        suites.build_windows()

    for mutant in mutants:
        if mutant.equivalent:
            mutant.outcome = "equivalent"
    count = {kind: sum(m.outcome == kind for m in mutants)
             for kind in ("killed", "survived", "equivalent", "unbuildable")}
    scored = len(mutants) - count["equivalent"] - count["unbuildable"]
    score = 100.0 * count["killed"] / scored if scored else 100.0
    lines = ["Survived (a fault the tests let through):"]
    lines += [f"  {m.name}: {m.fault}\n    {m.find}\n    -> {m.replace}"
              for m in mutants if m.outcome == "survived"] or ["  none"]
    lines.append("Equivalent (no behaviour changes):")
    lines += [f"  {m.name}: {m.fault}\n    because {m.equivalent}"
              for m in mutants if m.outcome == "equivalent"] or ["  none"]
    if count["unbuildable"]:
        lines.append("Unbuildable (mend the list):")
        lines += [f"  {m.name}: {m.fault} ({m.detail})"
                  for m in mutants if m.outcome == "unbuildable"]
    lines.append(
        f"{len(mutants)} mutants: {count['killed']} killed, {count['survived']} "
        f"survived, {count['equivalent']} equivalent, {count['unbuildable']} "
        f"unbuildable. Score {count['killed']}/{scored} = {score:.1f}%. "
        f"Time {time.monotonic() - began:.0f}s.")
    report = "\n".join(lines)
    print(report)
    (SCRATCH / "report.txt").write_text(report + "\n", encoding="utf-8")
    sys.exit(1 if count["unbuildable"] else 0)


if __name__ == "__main__":
    main()
