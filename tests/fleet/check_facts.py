#!/usr/bin/env python3
"""The fleet kit's shared facts, read from every file that states them, and
compared: the programs' folder and the order of the variables it is looked
for in, the marker's name, the version's placeholder, the programs' names,
the exit codes each engine script may give (against fleet/README.md's
table), the time limits of the playbook and the collector against the
programs' own deadlines (read from the C++ constants), and the collector's
CSV columns against the check's own header. No PowerShell, cmd or Ansible
runs here: a script whose text no longer states a fact fails as surely as
one that states another.

    python3 check_facts.py <repository root>
"""

import re
import sys
import unittest
from pathlib import Path

ROOT = Path(sys.argv.pop(1) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2])
FLEET = ROOT / "fleet"

ENGINE_SCRIPTS = ["Install.cmd", "Uninstall.cmd", "Detect.ps1", "ConfigMgr-Detect.ps1",
                  "Remediations-Detect.ps1", "Remediations-Remediate.ps1"]
# How far above a program's own deadline an engine's backstop may lie.
BACKSTOP_SLACK_S = 10 * 60


def text(name):
    return (FLEET / name).read_text(encoding="ascii")


def one(pattern, where, name, flags=0):
    found = re.findall(pattern, where, flags)
    if len(found) != 1:
        raise AssertionError("%s: expected one match of %r, found %d" % (name, pattern, len(found)))
    return found[0]


def comments(name):
    """A file's comment text, its lines joined by blanks."""
    lines = []
    for line in text(name).splitlines():
        match = re.match(r"\s*(?:#|rem\b)\s?(.*)", line)
        if match:
            lines.append(match.group(1).strip())
    return " ".join(lines)


def milliseconds(constant, path):
    """A C++ constant's value ("25 * 60 * 1000", digit separators and
    integer suffixes allowed); one that cannot be read fails."""
    source = (ROOT / path).read_text(encoding="utf-8")
    expression = one(r"\b%s\s*[={]\s*([^;}]+?)\s*[;}]" % constant, source, path)
    value = 1
    for factor in expression.replace("'", "").split("*"):
        number = re.fullmatch(r"\s*(\d+)[uUlL]*\s*", factor)
        if not number:
            raise AssertionError("%s: cannot read %s = %s" % (path, constant, expression))
        value *= int(number.group(1))
    return value


def limits():
    """fleet/limits.txt: "name = seconds" lines, "#" comments."""
    table = {}
    for line in text("limits.txt").splitlines():
        if line.strip() and not line.startswith("#"):
            name, value = (part.strip() for part in line.split("=", 1))
            table[name] = int(value)
    return table


def folder(name):
    """(first variable, fallback variable, folder name) as a script states
    where the programs are."""
    source = text(name)
    if name.endswith(".cmd"):
        first, sub = one(r'^set "TARGET=%(\w+)%\\(\w+)"$', source, name, re.M)
        fallback, sub2 = one(r'^if not defined \w+ set "TARGET=%(\w+)%\\(\w+)"$', source, name,
                             re.M)
        return first, fallback, {sub, sub2}
    first = one(r"^\s*\$native = \$env:(\w+)$", source, name, re.M)
    fallback = one(r"if \(-not \$native\) \{ \$native = \$env:(\w+) \}", source, name)
    sub = one(r"Join-Path \$native '(\w+)", source, name)
    return first, fallback, {sub}


def exit_codes(name):
    """The exit codes a script gives: its literal ones, and those a
    variable passes on, read from the comparisons that guard it."""
    source = text(name)
    literal = r"exit /b (\d+)" if name.endswith(".cmd") else r"\bexit (\d+)"
    codes = {int(code) for code in re.findall(literal, source)}
    for variable in set(re.findall(r"\bexit \$(\w+)", source)):
        tests = re.findall(r"\$%s\s+(-\w+)\s+(\d+)" % variable, source)
        if not tests or any(operator != "-eq" for operator, _ in tests):
            raise AssertionError("%s: exit $%s is guarded by %s, not by -eq alone"
                                 % (name, variable, tests))
        codes |= {int(value) for _, value in tests}
    return codes


def readme_exit_codes():
    table = {}
    for name, codes in re.findall(r"^\| `([\w.-]+)` \| ([0-9, ]+) \|", text("README.md"), re.M):
        table[name] = {int(code) for code in codes.split(",")}
    return table


class Facts(unittest.TestCase):
    def test_every_file_names_the_same_folder_native_first(self):
        names = set()
        for name in ENGINE_SCRIPTS + ["Collect-KovexCheck.ps1"]:
            with self.subTest(name):
                first, fallback, subfolders = folder(name)
                self.assertEqual(("ProgramW6432", "ProgramFiles"), (first, fallback),
                                 "a 32-bit process's ProgramFiles is Program Files (x86)")
                names |= subfolders
        playbook = text("kovex_deepclean.yml")
        self.assertEqual("ProgramW6432", one(r"echo %(\w+)%", playbook, "playbook"))
        names.add(one(r'kovex_folder: "\{\{ kovex_program_files\.stdout \| trim \}\}\\\\(\w+)"',
                      playbook, "playbook"))
        names |= set(re.findall(r"`%ProgramW6432%\\(\w+)`", text("README.md")))
        self.assertEqual({"KovexDeepClean"}, names)

    def test_every_file_names_the_same_marker_and_the_detection_looks_at_it_alone(self):
        version = r"(?:%VERSION%|@KOVEX_VERSION@|\{\{ kovex_version \}\}|<version>)"
        markers = {
            "Install.cmd": one(r'set "MARKER=%TARGET%\\(cleanup-done-[^"]+)"', text("Install.cmd"),
                               "Install.cmd"),
            "kovex_deepclean.yml": one(r'kovex_marker: "\{\{ kovex_folder \}\}\\\\([^"]+)"',
                                       text("kovex_deepclean.yml"), "playbook"),
            "README.md": one(r"writes a marker, `(cleanup-done-[^`]+)`",
                             " ".join(text("README.md").split()), "README.md"),
        }
        for name in ("Detect.ps1", "ConfigMgr-Detect.ps1"):
            source = text(name)
            # The one path it names, tested as the marker, and printed.
            paths = re.findall(r"'(\w+\\[^']*)'", source)
            self.assertEqual(1, len(paths), name)
            markers[name] = paths[0].split("\\", 1)[1]
            one(r"\$marker = Join-Path \$native '", source, name)
            one(r"Test-Path -LiteralPath \$marker -PathType Leaf", source, name)
        for name, marker in markers.items():
            with self.subTest(name):
                self.assertEqual("cleanup-done-<version>.txt", re.sub(version, "<version>", marker))
        # The version each names is the placeholder the release build writes.
        self.assertEqual("@KOVEX_VERSION@", one(r'^set "VERSION=(.*)"$', text("Install.cmd"),
                                                "Install.cmd", re.M))
        self.assertEqual("@KOVEX_VERSION@", one(r'kovex_version: "(.*)"',
                                                text("kovex_deepclean.yml"), "playbook"))

    def test_every_file_names_the_programs_alike(self):
        for path in sorted(FLEET.rglob("*")):
            if path.is_file():
                with self.subTest(path.name):
                    named = set(re.findall(r"kovex-deepclean[\w-]*\.exe", path.read_text("ascii")))
                    self.assertLessEqual(named, {"kovex-deepclean.exe",
                                                 "kovex-deepclean-check.exe",
                                                 "kovex-deepclean-fleet.exe"})

    def test_each_script_gives_the_exit_codes_the_readme_lists(self):
        table = readme_exit_codes()
        for name in ENGINE_SCRIPTS:
            with self.subTest(name):
                self.assertEqual(table.get(name), exit_codes(name))
        # A detection passes on only what makes Intune act rightly: never 2
        # ("could not tell"), which would run the remediation.
        self.assertEqual({0, 1}, exit_codes("Remediations-Detect.ps1"))

    def test_the_limits_table_holds_the_programs_limits(self):
        # The one table the kit's time-outs are made from, against the C++
        # constants it stands for, and README.md's table against it.
        table = limits()
        patterns = one(r"kDriverFilePatterns\[\] = \{([^}]*)\}",
                       (ROOT / "src/maker/maker.h").read_text(encoding="utf-8"), "maker.h")
        self.assertEqual({
            "cleanup_deadline": milliseconds("kRunDeadlineMs", "src/exec/program_time_limit.cc"),
            "cleanup_deletions": milliseconds("kPastDeadlineLimitMs", "src/exec/runner.h")
                                 * len(re.findall(r'L"', patterns)),
            "check_deadline": milliseconds("kCheckDeadlineMs", "src/check/machine_check.cc"),
        }, {name: seconds * 1000 for name, seconds in table.items()})
        readme = dict(re.findall(r"^\| `(\w+)` \| (\d+) s \|", text("README.md"), re.M))
        self.assertEqual({name: str(seconds) for name, seconds in table.items()}, readme)

    def test_time_limits_stand_above_the_programs_deadlines(self):
        table = limits()
        run = table["cleanup_deadline"]
        longest = run + table["cleanup_deletions"]
        check = table["check_deadline"]
        playbook = text("kovex_deepclean.yml")
        cleanup_limit = int(one(r"creates: \"\{\{ kovex_marker \}\}\"\n(?:.*\n)*?      timeout: (\d+)",
                                playbook, "playbook"))
        check_limit = int(one(r"- name: Run the check\n(?:.*\n)*?      timeout: (\d+)", playbook,
                              "playbook"))
        self.assertTrue(longest < cleanup_limit <= run + BACKSTOP_SLACK_S, cleanup_limit)
        self.assertTrue(check < check_limit <= check + BACKSTOP_SLACK_S, check_limit)
        # The collector's default leaves the cleanup its longest run and the
        # check two of its own (-ResultsFolder); its least one with
        # -RunCleanup is computed from the table (the Pester tests try it).
        collector = int(one(r"\[int\]\$TimeoutMinutes = (\d+)", text("Collect-KovexCheck.ps1"),
                            "collector"))
        self.assertGreater(collector * 60, longest + 2 * check)
        source = text("Collect-KovexCheck.ps1")
        for name in table:
            self.assertIn("'%s'" % name, source)

        # The deadlines and the backstops, as the files state them.
        deadlines = r"the cleanup (\d+) minutes from its start, the check (\d+)"
        for name in ("kovex_deepclean.yml", "README.md"):
            with self.subTest(name):
                source = comments(name) if name.endswith(".yml") else " ".join(
                    text(name).split())
                self.assertEqual({(str(run // 60), str(check // 60))},
                                 set(re.findall(deadlines, source)))
                self.assertEqual({(str(cleanup_limit // 60), str(check_limit // 60))},
                                 set(re.findall(r"the cleanup (\d+) minutes, the check (\d+)\)",
                                                source)))

    def test_the_collectors_columns_are_the_checks(self):
        source = (ROOT / "src/check/csv_rows.cc").read_text(encoding="ascii")
        header = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"',
                                    one(r"const char kCsvHeader\[\] =([^;]*);", source, "csv_rows")))
        columns = re.findall(r'\\"(\w+)\\"', header)
        self.assertTrue(header.endswith("\\n"))
        listed = one(r"\$columns = @\(([^)]*)\)", text("Collect-KovexCheck.ps1"), "collector")
        self.assertEqual(columns, re.findall(r"'(\w+)'", listed))
        self.assertEqual(11, len(columns))


if __name__ == "__main__":
    unittest.main(verbosity=1)
