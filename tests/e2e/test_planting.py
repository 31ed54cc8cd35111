"""Programs and libraries planted where a downloaded tool is usually run
from: the working directory and the tool's own folder. The tool runs
elevated, so whatever it starts from there runs with administrator rights."""

import shutil
import unittest

from harness import BANNER_SEEN, sandbox_with_devcon

MACHINE = r"""
device USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1
  description Kovex Pulse Headset
  hardware USB\VID_3F7C&PID_0A01
package oem12.inf
  provider Kovex Inc
"""


class PlantedInterpreter(unittest.TestCase):
    def test_cmd_exe_in_the_working_directory_or_beside_the_tool_never_runs(self):
        box = sandbox_with_devcon("planted_cmd", MACHINE)
        # The simulator logs every run of it: started as "cmd", its log would
        # show the interpreter's " /C ..." parameters.
        for folder in (box.cwd, box.bin):
            shutil.copy(box.devcon, folder / "cmd.exe")

        run = box.run()

        self.assertEqual(0, run.status)
        self.assertEqual([
            ["findall", "*VID_3F7C*"],
            ["findall", "*QZV*"],
            ["-f", "remove", r"@USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1"],
            ["findall", "*MMDEVAPI*"],
            ["/dp_enum"],
            ["-f", "/dp_delete", "oem12.inf"],
            ["rescan"],
        ], box.invocations())
        self.assertEqual(
            BANNER_SEEN + "\n"
            "Removing devices...\n"
            "\t Removed :  Kovex Pulse Headset\n"
            "Removing audio devices...\n"
            "Scanning installed drivers...\n"
            "Cleanning up driver packages...\n"
            "\t Kovex INF: oem12.inf - Removed\n"
            "Removing driver files...\n"
            "Removing driver installer registry...\n"
            "Rescannig...\n"
            "Done.\n", run.text)
        self.assertEqual([], box.devices())
        self.assertEqual([], box.packages())


if __name__ == "__main__":
    unittest.main()
