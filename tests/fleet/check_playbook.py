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


def tasks():
    with open(PLAYBOOK, encoding="ascii") as source:
        plays = yaml.safe_load(source)
    return plays[0]["tasks"]


def task(predicate):
    return next(entry for entry in tasks() if predicate(entry))


def templar(**variables):
    return Templar(loader=DataLoader(), variables=variables)


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
        variables = {"kovex_check": {"rc": rc, "stdout": stdout}}
        variables["kovex_report"] = templar(**variables).template(entry["vars"]["kovex_report"])
        return templar(**variables).template(entry["ansible.builtin.debug"]["msg"])

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


# The options each module used here has (ansible.windows' documentation); a
# name outside them is ignored by some modules without a word.
OPTIONS = {
    "ansible.windows.win_copy": {"src", "dest", "content", "backup", "decrypt",
                                 "force", "local_follow", "remote_src"},
    "ansible.windows.win_command": {"argv", "cmd", "_raw_params", "chdir",
                                    "creates", "removes", "stdin",
                                    "output_encoding_override"},
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
