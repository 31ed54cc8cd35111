"""A devcon that never answers does not hold the cleanup: each program it
starts gets a time limit, and is ended with what it started when the limit
passes; the whole run gets a deadline, after which no program is started.
Run with the test-only build whose limits are 30 s per program and 60 s for
the run (KOVEX_SHORT_LIMIT_EXE) in place of the release's ten and 25
minutes."""

import os
import re
import shutil
import unittest
from pathlib import Path

import test_files_and_registry as files_and_registry
from harness import LIMIT_LINE, Sandbox, sandbox_with_devcon, WineTestCase

HUNG = r"USB\VID_3F7C&PID_0B10\7&19A4C2&0&3"
MACHINE = r"""
device USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1
  description Kovex Pulse Headset
  hardware USB\VID_3F7C&PID_0A01
  absent
device %s
  description Kovex Glide Mouse
  hardware USB\VID_3F7C&PID_0B10
device USB\VID_3F7C&PID_0C20\9&1F00AA&0&1
  description Kovex Dock
  hardware USB\VID_3F7C&PID_0C20
  absent
fault remove:@%s sleep 120000
""" % (HUNG, HUNG)


class HungRemoval(WineTestCase):
    def test_the_removal_is_ended_at_its_limit_and_the_run_goes_on(self):
        box = sandbox_with_devcon("hung_removal", MACHINE)
        exe = Path(os.environ["KOVEX_SHORT_LIMIT_EXE"])
        shutil.copy(exe, box.bin)

        run = box.run(exe=exe, timeout=180)

        self.assertEqual(0, run.status)
        devices = run.text[:run.text.index("Removing audio devices...")]
        self.assertEqual(
            [("30 s", "devcon -f remove @" + HUNG.ljust(60))],
            LIMIT_LINE.findall(run.text))
        self.assertEqual(
            "Removing devices...\n"
            "\t Removed :  Kovex Pulse Headset\n"
            "\t Not finished within 30 s, ended: devcon -f remove @%s\n"
            "\t !!! Remove FAILED :  Kovex Glide Mouse\n"
            "\t Removed :  Kovex Dock\n" % HUNG.ljust(60),
            devices[devices.index("Removing devices..."):])
        self.assertTrue(run.text.endswith("Rescannig...\nDone.\n"), run.text)
        # Ended before it removed anything; the others were unplugged, and
        # are gone for good.
        self.assertEqual([HUNG], box.devices())


# Every removal hangs, as when a driver blocks devcon.
STUCK = [r"USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1",
         r"USB\VID_3F7C&PID_0B10\7&19A4C2&0&3",
         r"USB\VID_3F7C&PID_0C20\9&1F00AA&0&1"]
STUCK_MACHINE = "".join(
    "device %s\n  description Kovex Unit %d\n  hardware %s\n"
    "fault remove:@%s sleep 120000\n" % (i, n, i.rsplit("\\", 1)[0], i)
    for n, i in enumerate(STUCK))


class RunDeadline(WineTestCase):
    def tearDown(self):
        files_and_registry.reset(Sandbox("reset"))

    def test_past_the_deadline_nothing_starts_but_files_and_keys_go(self):
        box = sandbox_with_devcon("run_deadline", STUCK_MACHINE)
        files_and_registry.seed(box)
        exe = Path(os.environ["KOVEX_SHORT_LIMIT_EXE"])
        shutil.copy(exe, box.bin)

        run = box.run(exe=exe, timeout=240)

        self.assertEqual(0, run.status)
        removals = tuple("devcon -f remove @" + i.ljust(60) for i in STUCK)
        self.assertEqual(
            "Removing devices...\n"
            "\t Not finished within 30 s, ended: %s\n"
            "\t !!! Remove FAILED :  Kovex Unit 0\n"
            "\t Not finished within the run's 60 s, ended: %s\n"
            "\t !!! Remove FAILED :  Kovex Unit 1\n"
            "\t Not started, the run's 60 s are spent: %s\n"
            "\t !!! Remove FAILED :  Kovex Unit 2\n" % removals,
            run.text[run.text.index("Removing devices..."):
                     run.text.index("Removing audio devices...")])
        # The listings after it are not started either, and fail as listings
        # that could not be made: their steps show their headings alone.
        self.assertEqual(
            ["findall *MMDEVAPI*", "/dp_enum"],
            re.findall(r"Not started, the run's 60 s are spent: \S*cmd\.exe /D /C "
                       r"devcon -u (findall \S+|/dp_enum) ", run.text))
        self.assertNotIn("Cleanning up driver packages...", run.text)
        self.assertTrue(run.text.endswith(
            "Removing driver files...\n"
            "Removing driver installer registry...\n"
            "Rescannig...\n"
            "\t Not started, the run's 60 s are spent: devcon rescan \n"
            "Done.\n"), run.text)
        # Ended within the deadline and the deletions' minute, not at ten
        # minutes a program.
        self.assertLess(run.seconds, 60 + 45)
        # The interpreter's deletion and the registry step ran all the same.
        files_and_registry.assert_only_the_makers_files_and_keys_gone(self, box)

if __name__ == "__main__":
    unittest.main()
