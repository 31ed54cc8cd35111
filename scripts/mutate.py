#!/usr/bin/env python3
"""The mutation run: puts one plausible fault at a time into a copy of src/
or fleet/ and tells which ones the tests let through.

    python3 scripts/mutate.py               # every mutant of the list
    python3 scripts/mutate.py --check       # the list still applies (quick)
    python3 scripts/mutate.py --only REGEX  # the mutants whose file:line or fault match
    python3 scripts/mutate.py --lines 1142- --lines 1-1141
                                            # those whose block starts on these
                                            # lines of the list, in this order

The mutants are in tests/mutation/mutants.txt (its head says how they are
written). Each is applied to a scratch copy of the tree in build/mutation/tree,
never to the work tree, and built there incrementally: the host's unit tests
run first, and only a mutant that survives them meets the Windows suite
(ctest --preset win64 under Wine, without the release's rebuilds). A mutant
of the fleet kit (fleet/) meets its own checks instead: tests/fleet's, for a
PowerShell script then its Pester tests (ctest fleet.ps.<script>, run by the
pwsh and Pester scripts/setup.sh installs in the work tree), then the
end-to-end fleet tests (e2e.test_fleet*) under Wine. A mutant is killed
when a build of tests fails or any test fails or hangs; a mutant whose
program does not build at all is an error of the list. A test that crashed
or hung is named in the report by the last test that started in its output.

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
    r"(-win32\.cc|\.rc|\.rci|\.manifest|^src/run/main\.cc|^src/check/main\.cc)$")
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
    (["-R", r"^e2e\.test_check$"], 480),
)
HOST_TIMEOUT = 180
# The fleet kit's scripts are not compiled: tests/fleet checks them, and the
# end-to-end fleet tests run the .cmd files under Wine's cmd.
FLEET = re.compile(r"^fleet/")
FLEET_CHECK_TIMEOUT = 600
FLEET_E2E_STAGE = (["-R", r"^e2e\.test_fleet"], 300)
# A fleet PowerShell script's Pester tests: ctest fleet.ps.<its name>.
POWERSHELL = re.compile(r"^fleet/([\w-]+)\.ps1$")
POWERSHELL_TIMEOUT = 900
PS_TOOLS = ROOT / "build" / "ps-tools"
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
    # PowerShell and Pester, installed in the work tree's build folder by
    # scripts/setup.sh; the copy has none of its own.
    env.setdefault("KOVEX_PWSH", str(ROOT / "build" / "ps-tools" / "pwsh" / "pwsh"))
    return env


def run(command, timeout=None, log=None):
    """Runs `command` in the copy, niced; returns (ok, output). The whole
    output: the test that a crash or a hang cut short may be far from its
    end."""
    try:
        done = subprocess.run(["nice", "-n", "10", *command], cwd=TREE,
                              env=environment(), stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=timeout)
    except subprocess.TimeoutExpired as expired:
        output = (expired.stdout or b"").decode("utf-8", "replace")
        if log is not None:
            log.write(f"$ {' '.join(command)}\n{output}\n(timed out)\n")
        return False, "%s\ntimed out after %ss\n" % (output, timeout)
    output = done.stdout.decode("utf-8", "replace")
    if log is not None:
        log.write(f"$ {' '.join(command)}\n{output}\n")
    return done.returncode == 0, output


class Suites:
    def __init__(self, jobs, log):
        self.jobs = str(jobs)
        self.log = log

    def configure(self):
        # No optimisation and no debug information: each mutant's rebuild
        # is then quickest.
        # PowerShell and Pester from the work tree's build folder.
        for command in (["cmake", "--preset", "host", "-DCMAKE_BUILD_TYPE=",
                         "-DKOVEX_SANITIZED_TESTS=OFF", "-DKOVEX_BENCHMARKS=OFF",
                         f"-DKOVEX_PWSH={PS_TOOLS / 'pwsh' / 'pwsh'}",
                         f"-DKOVEX_PESTER={PS_TOOLS / 'pester-5.7.1' / 'tools' / 'Pester.psd1'}"],
                        ["cmake", "--preset", "win64", "-DCMAKE_BUILD_TYPE="]):
            ok, output = run(command, log=self.log)
            if not ok:
                sys.exit(f"configuring the copy failed:\n{output}")

    def build_host(self):
        return run(["cmake", "--build", "--preset", "host", "-j", self.jobs,
                    "--target", "unit_tests"], log=self.log)

    def test_host(self):
        # Not brief: a crash or a hang is told by the "[ RUN      ]" line of
        # the test it cut short.
        return run([str(TREE / "build" / "host" / "tests" / "unit_tests")],
                   timeout=HOST_TIMEOUT, log=self.log)

    def build_windows(self):
        return run(["cmake", "--build", "--preset", "win64", "-j", self.jobs],
                   log=self.log)

    def test_windows(self, stop_on_failure=True, stages=WINDOWS_STAGES):
        """Each stage in turn, the fixtures that make and stop the Wine
        prefix included; the first failing stage ends it."""
        for stage, timeout in stages:
            command = ["ctest", "--preset", "win64", *stage,
                       "--timeout", str(timeout)]
            if stop_on_failure:
                command.append("--stop-on-failure")
            ok, output = run(command, log=self.log)
            if not ok:
                return ok, output
        return True, output

    def test_fleet_scripts(self):
        return run(["bash", "tests/fleet/check-fleet.sh"],
                   timeout=FLEET_CHECK_TIMEOUT, log=self.log)

    def test_powershell(self, script):
        return run(["ctest", "--preset", "host", "-R", rf"^fleet\.ps\.{script}$",
                    "--no-tests=error", "--timeout", str(POWERSHELL_TIMEOUT)], log=self.log)

    def test_fleet_e2e(self):
        return self.test_windows(stages=(FLEET_E2E_STAGE,))


def nothing_to_build():
    return True, ""


# A test that started: GoogleTest's, Python unittest's (-v) and ctest's, and
# the lines that end one.
GTEST_START = re.compile(r"^\[ RUN      \] (\S+)", re.M)
GTEST_END = re.compile(r"^\[ +(?:OK|FAILED|SKIPPED) +\] (\S+)", re.M)
UNITTEST_START = re.compile(r"^(test\w*) \(([\w.]+)\)", re.M)
UNITTEST_SUMMARY = re.compile(r"^Ran \d+ tests? in ", re.M)
CTEST_START = re.compile(r"^ *Start +(\d+): (\S+)", re.M)
CTEST_END = re.compile(r"^ *\d+/\d+ Test +#(\d+): (\S+) ", re.M)


def last_unended(output, start, end, name_group):
    """(where, name) of the last test `start` finds in `output` when no
    `end` after it has the same first group (its id); else None."""
    starts = list(start.finditer(output))
    if not starts:
        return None
    last = starts[-1]
    ended = {m.group(1) for m in end.finditer(output, last.end())}
    return None if last.group(1) in ended else (last.start(), last.group(name_group))


def unfinished_test(output):
    """The test that started last in `output` and has no end there: the
    one a crash or a kill cut short; None when every started one ended."""
    candidates = []
    unended = last_unended(output, GTEST_START, GTEST_END, name_group=1)
    if unended:
        candidates.append(unended)
    starts = list(UNITTEST_START.finditer(output))
    if starts:
        last = starts[-1]
        if not UNITTEST_SUMMARY.search(output, last.end()):
            test, where = last.group(1), last.group(2)
            # Python 3.11 and later name the test in the parentheses.
            name = where if where.endswith("." + test) else f"{where}.{test}"
            candidates.append((last.start(), name))
    unended = last_unended(output, CTEST_START, CTEST_END, name_group=2)
    if unended:
        candidates.append(unended)
    # Nested runners (ctest around a test binary): the innermost test is the
    # one that started last.
    return max(candidates)[1] if candidates else None


def ctest_output_of(name, output):
    """What ctest printed of test `name` after its result line (its output,
    with --output-on-failure), up to the next test or the summary."""
    ends = [m for m in CTEST_END.finditer(output) if m.group(2) == name]
    if not ends:
        return ""
    rest = output[ends[-1].end():]
    stop = re.search(r"^ *(?:Start +\d+:|\d+/\d+ Test +#|\d+% tests passed)",
                     rest, re.M)
    return rest[:stop.start()] if stop else rest


def failed_tests(output):
    """The names of the failed tests in a gtest, unittest, ctest or
    tests/fleet output; for a test cut short (crashed, hung, killed), the
    last test that started in it."""
    names = [name for name in re.findall(r"^\[  FAILED  \] (\S+)", output, re.M)
             if not name.isdigit()]  # not "[  FAILED  ] 2 tests, listed below"
    for test, where in re.findall(r"^(?:FAIL|ERROR): (test\w*) \(([\w.]+)\)",
                                  output, re.M):
        names.append(where if where.endswith("." + test) else f"{where}.{test}")
    names += re.findall(r"^FAILED: (.+)$", output, re.M)  # tests/fleet
    summary = output.rpartition("The following tests FAILED:")[2] \
        if "The following tests FAILED:" in output else ""
    for test, how in re.findall(r"^\s*\d+ - (\S+) \(([^)]+)\)", summary, re.M):
        if how == "Failed":
            names.append(test)
            continue
        # Crashed or timed out: what its own output says last.
        inner = unfinished_test(ctest_output_of(test, output))
        names.append(f"{test} ({how}" + (f" in {inner})" if inner else ")"))
    if not names or "timed out after" in output:
        # No summary at all: the runner itself crashed or was killed.
        inner = unfinished_test(output)
        how = "hung" if "timed out after" in output else "did not finish"
        if inner:
            names.append(f"{inner} ({how})")
        elif "timed out after" in output:
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
    if FLEET.search(mutant.file):
        stages = [("fleet", nothing_to_build, suites.test_fleet_scripts),
                  ("win64", suites.build_windows, suites.test_fleet_e2e)]
        script = POWERSHELL.search(mutant.file)
        if script:
            stages.insert(1, ("powershell", nothing_to_build,
                              lambda: suites.test_powershell(script.group(1))))
    elif not WINDOWS_ONLY.search(mutant.file):
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


def line_range(text):
    """"FROM-TO", either end left out, as (first, last) lines of the list."""
    match = re.fullmatch(r"(\d*)-(\d*)", text)
    if not match:
        raise argparse.ArgumentTypeError(f"{text}: not FROM-TO")
    return int(match.group(1) or 0), int(match.group(2) or sys.maxsize)


def in_line_ranges(mutants, ranges):
    """The mutants whose block starts in each (first, last) range, range by
    range, each mutant once."""
    chosen = []
    for first, last in ranges:
        chosen += [m for m in mutants if first <= m.line <= last and m not in chosen]
    return chosen


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
    parser.add_argument("--lines", metavar="FROM-TO", action="append", type=line_range,
                        help="run only the mutants whose block starts on these lines "
                             "of the list (either end may be left out); given more "
                             "than once, the ranges run in the order given")
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
    if args.lines:
        mutants = in_line_ranges(mutants, args.lines)

    began = time.monotonic()
    SCRATCH.mkdir(parents=True, exist_ok=True)
    sync_tree()
    with open(SCRATCH / "run.log", "w", encoding="utf-8") as log:
        suites = Suites(args.jobs, log)
        suites.configure()
        # The unmutated tree must pass, or no outcome below means anything.
        steps = [(suites.build_host, "host build"),
                 (suites.test_host, "host tests"),
                 (suites.build_windows, "win64 build"),
                 (lambda: suites.test_windows(False), "win64 tests")]
        if any(FLEET.search(m.file) for m in mutants if not m.equivalent):
            steps.append((suites.test_fleet_scripts, "fleet checks"))
        scripts = {POWERSHELL.search(m.file).group(1) for m in mutants
                   if not m.equivalent and POWERSHELL.search(m.file)}
        if scripts and not (PS_TOOLS / "pwsh" / "pwsh").exists():
            sys.exit("PowerShell is missing from build/ps-tools: run scripts/setup.sh")
        for script in sorted(scripts):
            steps.append((lambda script=script: suites.test_powershell(script),
                          f"PowerShell tests of {script}.ps1"))
        for step, stage in steps:
            ok, output = step()
            if not ok:
                sys.exit(f"the unmutated copy fails its {stage} "
                         f"({failed_tests(output)}):\n{output[-3000:]}")
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
