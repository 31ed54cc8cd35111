"""What a real machine does that a plain Wine run hides, end to end: a
listing line that devcon glued to the next one, a driver file that Windows'
`del` passes over, and the shell's dialog on a program it cannot start, or
its asynchronous start."""

import json
import re
import unittest

import test_files_and_registry as files_and_registry
from harness import LAUNCH_REPORT_SEEN, Sandbox, sandbox_with_devcon, WineTestCase

OTHER = r"SWD\MMDEVAPI\{0.0.0.00000000}.{c81d4e2a-6f3b-4a9c-b7e5-1d2f3a4b5c6d}"
OURS = r"SWD\MMDEVAPI\{0.0.0.00000000}.{5f2a6c1e-1b7d-4c8e-9a3b-2f6e8d4c1a07}"

# Another maker's endpoint whose name holds a "\u2122", listed right before the
# maker's. devcon -u writes both lines whole. An older devcon without -u cuts
# the first line at the "\u2122" and glues the second onto it,
# "<OTHER>: Speakers (Realtek<OURS>: Speakers (Kovex Pulse Headset)". The
# maker's headset is unplugged, so its endpoint is a trace, not attached.
GLUED = """
device %s
  description Speakers (Realtek\u2122 Audio)
  hardware MMDEVAPI\\AudioEndpoints
device %s
  description Speakers (Kovex Pulse Headset)
  hardware MMDEVAPI\\AudioEndpoints
  absent
""" % (OTHER, OURS)
HIDDEN = "KxDev_x.sys"


def endpoint_lines(text):
    return text[text.index("Removing audio devices..."):
                text.index("Scanning installed drivers...")]


class GluedEndpointLine(WineTestCase):
    def test_whole_lines_remove_the_makers_endpoint_only(self):
        box = sandbox_with_devcon("whole_endpoint_lines", GLUED)

        run = box.run()

        self.assertEqual(0, run.status)
        self.assertEqual(
            "Removing audio devices...\n"
            "\t Removed :  Speakers (Kovex Pulse Headset)\n",
            endpoint_lines(run.text))
        self.assertEqual([["-f", "remove", "@" + OURS]],
                         [argv for argv in box.invocations() if "remove" in argv])
        self.assertEqual([OTHER], box.devices())
        document = json.loads(box.check("--json").raw.decode("utf-8"))
        self.assertEqual([], document["traces"])

    # An older devcon without -u: the glued-on endpoint is not the first
    # one's, so neither is removed, and the check, reading the same bytes,
    # names no endpoint of another maker's: its count line tells it lost one.
    def test_without_unicode_the_other_makers_endpoint_stays(self):
        box = sandbox_with_devcon("glued_endpoint",
                                  GLUED + "without-unicode-option\n")

        run = box.run()

        self.assertEqual(0, run.status)
        self.assertIn("Realtek" + OURS,
                      (box.cwd / "audiodevicelist.txt").read_text("latin-1"))
        self.assertEqual("Removing audio devices...\n", endpoint_lines(run.text))
        self.assertEqual([], [argv for argv in box.invocations()
                              if "remove" in argv])
        self.assertEqual([OTHER, OURS], box.devices())
        document = json.loads(box.check("--json").raw.decode("utf-8"))
        self.assertEqual([], document["traces"])
        self.assertEqual(
            [{"check": "audio-endpoints",
              "reason": "devcon reported 2 devices and listed 1"}],
            document["unchecked"])


class HiddenDriverFile(WineTestCase):
    """Windows' `del` without /A passes over hidden and system files; Wine's
    deletes them all the same, so the cleanup's side of it cannot be shown
    under Wine. The check's side can."""

    def tearDown(self):
        box = Sandbox("reset")
        files_and_registry.reset(box)
        (box.drivers / HIDDEN).unlink(missing_ok=True)

    def test_the_check_names_it_with_the_command_that_removes_it(self):
        box = sandbox_with_devcon("hidden_driver_file")
        files_and_registry.reset(box)
        path = box.drivers / HIDDEN
        path.write_bytes(b"MZ\n")
        windows = "C:\\windows\\system32\\drivers\\" + HIDDEN
        # Wine's attrib sets one attribute per call.
        box.commands("attrib +H " + windows, "attrib +S " + windows)

        run = box.check()

        self.assertEqual(1, run.status, run.text)
        command = 'del /F /A:HS "%s"' % windows
        self.assertIn(
            "Driver files in C:\\windows\\system32\\drivers:\n"
            "\t KxDev_x.sys (a hidden system file: del without /A passes "
            "over it)\n"
            "\t \t the cleanup passes over it; remove it with: " + command +
            "\n", run.text)
        # The command as printed is one the interpreter takes: run from a
        # batch file, its quotes reach it as they are.
        (box.cwd / "remove.cmd").write_bytes(command.encode("ascii") + b"\r\n")
        done = box.wine("cmd", "/C", "remove.cmd")
        self.assertEqual(0, done.returncode, done.stdout + done.stderr)
        self.assertFalse(path.exists())


class NoDialog(WineTestCase):
    # Wine's trace of ShellExecuteEx: one line per call, with its mask.
    START = re.compile(r"trace:exec:SHELL_execute mask=0x([0-9a-fA-F]+) .*?"
                       r'file=L"([^"]*)" parm=L"([^"]*)"')
    NO_UI = 0x400             # SEE_MASK_FLAG_NO_UI
    NO_CLOSE_PROCESS = 0x40   # SEE_MASK_NOCLOSEPROCESS
    NO_ASYNC = 0x100          # SEE_MASK_NOASYNC: the tool has no message loop
    NO_ZONE_CHECKS = 0x800000  # SEE_MASK_NOZONECHECKS: no prompt for a
                               # downloaded devcon that was not unblocked

    def test_every_start_asks_the_shell_for_no_dialog(self):
        box = Sandbox("no_dialog")  # no devcon anywhere

        run = box.run(wine_debug="+exec")

        self.assertEqual(0, run.status)
        self.assertTrue(run.text.endswith(
            "Rescannig...\n" + LAUNCH_REPORT_SEEN + "Done.\n"), run.text)
        starts = self.START.findall(run.errors.decode("latin-1"))
        self.assertEqual(
            ["findall *VID_3F7C*", "findall *QZV*", "findall *MMDEVAPI*",
             "/dp_enum", "KxDev_*.sys", "KxCommon.sys", "rescan"],
            [re.search(r"findall \S+|/dp_enum|Kx\w+\*?\.sys|rescan",
                       parameters).group(0)
             for _, _, parameters in starts])
        for mask, program, parameters in starts:
            with self.subTest(program=program, parameters=parameters):
                mask = int(mask, 16)
                self.assertTrue(mask & self.NO_UI, hex(mask))
                self.assertTrue(mask & self.NO_CLOSE_PROCESS, hex(mask))
                self.assertTrue(mask & self.NO_ASYNC, hex(mask))
                self.assertTrue(mask & self.NO_ZONE_CHECKS, hex(mask))


if __name__ == "__main__":
    unittest.main()
