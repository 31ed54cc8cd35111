"""Programs and libraries planted where a downloaded tool is usually run
from: the working directory and the tool's own folder. The tool runs
elevated, so whatever it starts from there runs with administrator rights."""

import re
import shutil
import unittest

from harness import BANNER_SEEN, sandbox_with_devcon, WineTestCase

MACHINE = r"""
device USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1
  description Kovex Pulse Headset
  hardware USB\VID_3F7C&PID_0A01
package oem12.inf
  provider Kovex Inc
"""


OUTPUT = (
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
    "Done.\n")


class PlantedInterpreter(WineTestCase):
    def test_cmd_exe_in_the_working_directory_or_beside_the_tool_never_runs(self):
        box = sandbox_with_devcon("planted_cmd", MACHINE)
        # The simulator logs every run of it: started as "cmd", its log would
        # show the interpreter's " /D /C ..." parameters.
        for folder in (box.cwd, box.bin):
            shutil.copy(box.devcon, folder / "cmd.exe")

        run = box.run()

        self.assertEqual(0, run.status)
        self.assertEqual([
            ["-u", "findall", "*VID_3F7C*"],
            ["-u", "findall", "*QZV*"],
            ["-f", "remove", r"@USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1"],
            ["-u", "findall", "*MMDEVAPI*"],
            ["-u", "/dp_enum"],
            ["-f", "/dp_delete", "oem12.inf"],
            ["rescan"],
        ], box.invocations())
        self.assertEqual(OUTPUT, run.text)
        # The headset is plugged in: the closing rescan made it anew.
        self.assertEqual([r"USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1"], box.devices())
        self.assertEqual([], box.packages())


class LibrarySearch(WineTestCase):
    """Under Wine no library comes in by bare name once the tool runs (the
    shell's are loaded with the program), so a planted copy cannot show the
    restriction here; Wine's trace of the calls shows when it is made."""

    DEBUG_KEY = "HKCU\\Software\\Wine\\Debug"
    RESTRICT = "KERNEL32.SetDefaultDllDirectories"
    START = "shell32.ShellExecuteExW"
    CALL = re.compile(r"^(\w+):(Call|Ret) +(%s|%s)\((.*?)\)(?: retval=(\w+))?"
                      % (re.escape(RESTRICT), re.escape(START)))

    def test_system_directory_only_before_the_first_program_starts(self):
        box = sandbox_with_devcon("library_search", MACHINE)
        # Wine traces only these two calls, not the thousands around them.
        added = box.wine("reg", "add", self.DEBUG_KEY, "/v", "RelayInclude",
                         "/d", self.RESTRICT + ";" + self.START, "/f")
        self.assertEqual(0, added.returncode, added.stderr)
        self.addCleanup(box.wine, "reg", "delete", self.DEBUG_KEY, "/v",
                        "RelayInclude", "/f")

        run = box.run(wine_debug="+relay")

        self.assertEqual(0, run.status)
        self.assertEqual(OUTPUT, run.text)
        calls = [match.groups() for match in map(
            self.CALL.match, run.errors.decode("latin-1").splitlines()) if match]
        self.assertGreaterEqual(len(calls), 3, run.errors[-2000:])
        # The tool's own thread; the programs it starts have threads of theirs.
        tool = calls[0][0]
        calls = [call[1:] for call in calls if call[0] == tool]
        self.assertEqual(("Call", self.RESTRICT, "00000800", None), calls[0])
        self.assertEqual(("Ret", self.RESTRICT, "", "00000001"), calls[1])
        self.assertEqual(("Call", self.START), calls[2][:2])

    def test_the_check_restricts_it_before_it_starts_devcon(self):
        box = sandbox_with_devcon("library_search_check", MACHINE)
        start = "KERNEL32.CreateProcessW;KERNELBASE.CreateProcessW"
        added = box.wine("reg", "add", self.DEBUG_KEY, "/v", "RelayInclude",
                         "/d", self.RESTRICT + ";" + start, "/f")
        self.assertEqual(0, added.returncode, added.stderr)
        self.addCleanup(box.wine, "reg", "delete", self.DEBUG_KEY, "/v",
                        "RelayInclude", "/f")

        run = box.check(wine_debug="+relay")

        self.assertEqual(1, run.status)
        call = re.compile(r"^(\w+):Call +(%s|\w+\.CreateProcessW)\(" %
                          re.escape(self.RESTRICT))
        calls = [match.groups() for match in map(
            call.match, run.errors.decode("latin-1").splitlines()) if match]
        tool = calls[0][0] if calls else None
        names = [name for thread, name in calls if thread == tool]
        self.assertEqual(self.RESTRICT, names[0] if names else None,
                         run.errors[-2000:])
        # The restriction, then one start of devcon for each of its seven runs.
        self.assertEqual(8, len(names), names)

if __name__ == "__main__":
    unittest.main()
