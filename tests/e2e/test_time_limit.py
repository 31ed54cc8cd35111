"""A devcon that never answers does not hold the cleanup: each program it
starts gets a time limit, and is ended with what it started when the limit
passes. Run with the test-only build whose limit is 30 s (KOVEX_SHORT_LIMIT_EXE)
in place of the release's ten minutes."""

import os
import shutil
import unittest
from pathlib import Path

from harness import LIMIT_LINE, sandbox_with_devcon

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


class HungRemoval(unittest.TestCase):
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


if __name__ == "__main__":
    unittest.main()
