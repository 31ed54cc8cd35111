#!/usr/bin/env python3
"""The playbook's decisions, evaluated by Ansible's own templating on the
outcomes a machine can give: the check task fails exactly when the check did
not run as asked (an exit status other than 0, 1 or 2, or an output that is
not the check's JSON document), the report task reads the document's
traces, the removals that wait for a reboot, the manual commands and the
unchecked list, and every task run on a machine has a time limit and only
options its module has. Runs nothing on any machine.

    python3 check_playbook.py <kovex_deepclean.yml>
"""

import sys
import unittest

import yaml
from ansible.parsing.dataloader import DataLoader
from ansible.template import Templar

PLAYBOOK = sys.argv.pop(1) if len(sys.argv) > 1 else "kovex_deepclean.yml"

CLEAN = '{"clean":true,"complete":true,"traces":[],"unchecked":[]}\r\n'
TRACES = ('{"clean":false,"complete":true,"traces":[{"kind":"device",'
          '"id":"USB\\\\VID_3F7C&PID_0A01\\\\6&1","description":"Kovex Kopfh\\u00f6rer",'
          '"awaits_reboot":true},{"kind":"device","id":"USB\\\\VID_3F7C&PID_0E40\\\\5&2",'
          '"description":"","awaits_reboot":false,'
          '"manual_removal":"devcon -f remove \\"@USB\\\\VID_3F7C&PID_0E40\\\\5&2\\""},'
          '{"kind":"driver-file","id":"KxCommon.sys","description":"C:\\\\KxCommon.sys",'
          '"awaits_reboot":false}],"unchecked":[]}\r\n')
UNKNOWN = ('{"clean":false,"complete":false,"traces":[],"unchecked":[{"check":'
           '"devices","reason":"devcon.exe is neither in the working directory '
           'nor on PATH"}]}\r\n')


def plays():
    with open(PLAYBOOK, encoding="ascii") as source:
        return yaml.safe_load(source)


def tasks():
    return [entry for play in plays() for entry in play["tasks"]]


def task(predicate):
    return next(entry for entry in tasks() if predicate(entry))


def templar(**variables):
    """Ansible's templating with the first play's variables under these."""
    return Templar(loader=DataLoader(), variables={**plays()[0]["vars"], **variables})


def holds(condition, **variables):
    text = templar(**variables).template(
        "{%% if %s %%}True{%% else %%}False{%% endif %%}" % condition)
    return text in (True, "True")


def fails(result):
    condition = task(lambda entry: entry.get("register") == "kovex_check")["failed_when"]
    text = templar(kovex_check=result).template(
        "{%% if %s %%}True{%% else %%}False{%% endif %%}" % condition)
    return text in (True, "True")


class CheckTask(unittest.TestCase):
    def test_the_three_outcomes_pass(self):
        for rc, stdout in ((0, CLEAN), (1, TRACES), (2, UNKNOWN)):
            with self.subTest(rc=rc):
                self.assertFalse(fails({"rc": rc, "stdout": stdout}))

    def test_a_check_that_did_not_run_as_asked_fails(self):
        cases = {
            # win_command could not start the program: rc is Windows' error
            # code (2: file not found) and there is no output at all.
            "not started, no stdout": {"rc": 2, "failed": True, "msg": "Failed to run"},
            "not started, empty stdout": {"rc": 2, "stdout": ""},
            "bad command line": {"rc": 3, "stdout": ""},
            "crashed": {"rc": -1073741819, "stdout": ""},
            "some other program": {"rc": 0, "stdout": "hello\r\n"},
            "a report for a person": {"rc": 1, "stdout": "Kovex driver check\r\n"},
            "a document that is not the check's": {"rc": 0, "stdout": '{"clean":"yes"}'},
            "status 3 with a document": {"rc": 3, "stdout": CLEAN},
            "status 4 with a document": {"rc": 4, "stdout": CLEAN},
            "no rc": {"stdout": CLEAN},
        }
        for name, result in cases.items():
            with self.subTest(name):
                self.assertTrue(fails(result))


class ReportTask(unittest.TestCase):
    def report(self, rc, stdout):
        entry = task(lambda entry: "ansible.builtin.debug" in entry)
        return templar(kovex_check={"rc": rc, "stdout": stdout}).template(
            entry["ansible.builtin.debug"]["msg"])

    def test_reports_traces_and_unchecked(self):
        report = self.report(1, TRACES)
        self.assertEqual("1", str(report["status"]))
        self.assertTrue(report["verdict"].startswith("NOT CLEAN"))
        self.assertEqual({"kind": "device", "id": "USB\\VID_3F7C&PID_0A01\\6&1",
                          "description": "Kovex Kopfh\u00f6rer", "awaits_reboot": True},
                         report["traces"][0])
        self.assertEqual(["USB\\VID_3F7C&PID_0A01\\6&1"], report["awaiting_reboot"])
        self.assertEqual(['devcon -f remove "@USB\\VID_3F7C&PID_0E40\\5&2"'],
                         report["manual_removal"])
        self.assertEqual([], report["unchecked"])

        report = self.report(2, UNKNOWN)
        self.assertTrue(report["verdict"].startswith("UNKNOWN"))
        self.assertEqual("devices", report["unchecked"][0]["check"])

        self.assertEqual("clean", self.report(0, CLEAN)["verdict"])


class OncePerVersion(unittest.TestCase):
    """The cleanup runs once per version: guarded by the marker that the
    playbook writes only when the check (--cleanup-log) finds in the
    cleanup's log that it ran to its end, and a cleanup cut short fails its
    machine; the source tree's copy refuses to run."""

    def test_the_guard_is_the_marker_written_when_the_check_says_it_ran_to_its_end(self):
        cleanup = task(lambda entry: entry.get("register") == "kovex_cleanup")
        decide = task(lambda entry: entry.get("register") == "kovex_cleanup_end")
        mark = task(lambda entry: entry["name"].startswith("Mark this version"))
        folder = "C:\\Programme\\KovexDeepClean"
        variables = {"kovex_folder": folder, "kovex_version": "4.5.6"}
        marker = folder + "\\cleanup-done-4.5.6.txt"
        run = templar(**variables).template(cleanup["ansible.windows.win_command"])
        self.assertEqual(marker, run["creates"])
        self.assertEqual(marker, templar(**variables).template(
            mark["ansible.windows.win_copy"]["dest"]))
        # The cleanup's output goes to the playbook's own log in its folder
        # (never another engine's), and the check reads that file.
        self.assertEqual(folder, run["chdir"])
        self.assertEqual(["cmd.exe", "/d", "/c",
                          ".\\kovex-deepclean.exe > cleanup-playbook.log 2>&1"], run["argv"])
        self.assertEqual([folder + "\\kovex-deepclean-check.exe", "--cleanup-log",
                          folder + "\\cleanup-playbook.log"],
                         templar(**variables).template(
                             decide["ansible.windows.win_command"]["argv"]))

        failing = task(lambda entry: "ansible.builtin.fail" in entry)
        ran = {"rc": 0, "stdout": "", "changed": True}
        cut = "The cleanup did not run to its end: a program was not started (...)\r\n"
        cases = {
            # name: the cleanup task's and the check's results, marker
            # written, machine failed
            "ran to its end": (ran, {"rc": 0, "stdout": "The cleanup ran to its end.\r\n"},
                               True, False),
            "cut short": (ran, {"rc": 1, "stdout": cut}, False, True),
            "its log cannot be read": (ran, {"rc": 2, "stdout": "The cleanup's log ..."},
                                       False, True),
            "the check could not start": (ran, {"rc": 2, "failed": True, "msg": "Failed"},
                                          False, True),
            "the check crashed": (ran, {"rc": -1073741819, "stdout": ""}, False, True),
            "skipped: this version's marker is there": (
                {"skipped": True, "changed": False, "msg": "skipped, since it exists"},
                {"skipped": True, "changed": False}, False, False),
        }
        for name, (cleanup_result, check_result, marked, failed) in cases.items():
            with self.subTest(name):
                results = {"kovex_cleanup": cleanup_result, "kovex_cleanup_end": check_result}
                self.assertEqual(not cleanup_result.get("skipped", False),
                                 holds(decide["when"], kovex_cleanup=cleanup_result))
                self.assertEqual(marked, holds(mark["when"], **results))
                self.assertEqual(failed, holds(failing["when"], **results))
                if failed and "stdout" in check_result and check_result["stdout"]:
                    self.assertIn(check_result["stdout"].strip(), templar(
                        kovex_folder=folder, **results).template(
                            failing["ansible.builtin.fail"]["msg"]))
        # --tags check: no cleanup ran, nothing is decided, marked or failed.
        self.assertFalse(holds(decide["when"]))
        self.assertFalse(holds(mark["when"]))
        self.assertFalse(holds(failing["when"]))

    def test_only_a_release_version_runs(self):
        refuse = task(lambda entry: "ansible.builtin.assert" in entry)
        self.assertIn("always", refuse["tags"])
        for version, runs in (("@KOVEX_VERSION@", False), ("1.4.0", True)):
            with self.subTest(version):
                self.assertEqual(runs, holds(refuse["ansible.builtin.assert"]["that"],
                                             kovex_version=version))


class Reboot(unittest.TestCase):
    def test_restarts_only_when_asked_and_a_removal_waits(self):
        reboot = task(lambda entry: "ansible.windows.win_reboot" in entry)
        cases = [
            (True, TRACES, True),
            (True, CLEAN, False),
            (True, UNKNOWN, False),
            ("false", TRACES, False),
            (False, TRACES, False),
        ]
        for asked, stdout, restarts in cases:
            with self.subTest(asked=asked, stdout=stdout[:40]):
                self.assertEqual(restarts, holds(reboot["when"], kovex_reboot=asked,
                                                 kovex_check={"rc": 1, "stdout": stdout}))


# The options each module used here has (ansible.windows' documentation); a
# name outside them is ignored by some modules without a word.
OPTIONS = {
    "ansible.windows.win_copy": {"src", "dest", "content", "backup", "decrypt",
                                 "force", "local_follow", "remote_src"},
    "ansible.windows.win_command": {"argv", "cmd", "_raw_params", "chdir",
                                    "creates", "removes", "stdin",
                                    "output_encoding_override"},
    "ansible.windows.win_stat": {"path", "follow", "get_checksum", "get_size",
                                 "checksum_algorithm"},
    "ansible.windows.win_file": {"path", "state", "modification_time",
                                 "access_time"},
    "ansible.windows.win_reboot": {"boot_time_command", "connect_timeout", "msg",
                                   "post_reboot_delay", "pre_reboot_delay",
                                   "reboot_timeout", "test_command"},
}


class Tasks(unittest.TestCase):
    def test_every_task_on_a_machine_is_bounded_and_uses_known_options(self):
        for entry in tasks():
            modules = [name for name in entry if name.startswith("ansible.windows.")]
            if not modules:
                continue
            with self.subTest(entry["name"]):
                self.assertIsInstance(entry.get("timeout"), int)
                self.assertGreater(entry["timeout"], 0)
                self.assertLessEqual(entry["timeout"], 1800)
                self.assertLessEqual(set(entry[modules[0]]), OPTIONS[modules[0]])

    def test_every_machine_is_listed_before_any_is_reached(self):
        # A machine that fails or cannot be reached drops out of the play at
        # its first task on it: the list is written before that, once, and
        # names every machine the play was run for.
        entries = tasks()
        listing = next(i for i, entry in enumerate(entries)
                       if "machines.txt" in str(entry.get("ansible.builtin.copy", {}).get("dest")))
        reaches = next(i for i, entry in enumerate(entries)
                       if any(name.startswith("ansible.windows.") for name in entry)
                       and entry.get("delegate_to") != "localhost")
        self.assertLess(listing, reaches)
        self.assertTrue(entries[listing]["run_once"])
        hosts = ["pc-ok", "pc-failed", "pc-unreachable"]
        self.assertEqual("pc-ok\npc-failed\npc-unreachable\n", templar(
            ansible_play_hosts_all=hosts, ansible_play_hosts=hosts[:1]).template(
                entries[listing]["ansible.builtin.copy"]["content"]))

    def test_an_earlier_log_is_deleted_whenever_the_cleanup_runs(self):
        # Right before the cleanup, on the same condition as its creates:
        # the check then reads this run's log or none.
        entries = tasks()
        cleanup = next(i for i, entry in enumerate(entries)
                       if entry.get("register") == "kovex_cleanup")
        find, delete = entries[cleanup - 2], entries[cleanup - 1]
        variables = {"kovex_folder": "C:\\P\\KovexDeepClean", "kovex_version": "1.2.3"}
        self.assertEqual(("C:\\P\\KovexDeepClean\\cleanup-playbook.log", "absent"), (
            templar(**variables).template(delete["ansible.windows.win_file"]["path"]),
            delete["ansible.windows.win_file"]["state"]))
        self.assertEqual(templar(**variables).template(
            entries[cleanup]["ansible.windows.win_command"]["creates"]),
            templar(**variables).template(find["ansible.windows.win_stat"]["path"]))
        for found in (True, False):
            self.assertEqual(not found, holds(delete["when"], kovex_marker_found={
                "stat": {"exists": found}}))

    def test_the_folder_is_the_machines_own_program_files(self):
        text = open(PLAYBOOK, encoding="ascii").read()
        self.assertNotIn("C:\\Program Files", text)
        folder = task(lambda entry: "ansible.builtin.set_fact" in entry)
        self.assertEqual(
            "C:\\Programme\\KovexDeepClean",
            templar(kovex_program_files={"stdout": "C:\\Programme\r\n"}).template(
                folder["ansible.builtin.set_fact"]["kovex_folder"]))


if __name__ == "__main__":
    unittest.main(verbosity=1)
