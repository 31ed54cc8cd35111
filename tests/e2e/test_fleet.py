"""The fleet kit's command files under Wine's cmd.exe, as the release build
stages them (CR LF line ends, the version written in): Install.cmd copies
both programs and devcon.exe to KovexDeepClean in the native Program Files
folder, also when its caller's %ProgramFiles% is the 32-bit one (the Intune
extension's cmd.exe), runs the cleanup from there and writes this version's
marker once the check (--cleanup-log) finds that the cleanup ran to its
end, then asks for a restart (3010) when a removal waits for a reboot; a
cleanup that does not reach "Done.", or whose log tells of a program not
started or ended at a time limit, fails the install (1) and leaves no
marker; a missing file stops it before
anything is copied, and so does a copy of the source tree, whose version
was never written (4); Uninstall.cmd removes the folder again. The PowerShell scripts
need PowerShell, which Wine lacks: tests/fleet parses and lints them."""

import os
import re
import shutil
import threading
import time
import unittest
from pathlib import Path

import test_files_and_registry as files_and_registry

from harness import (ROOT, WINE_RUN, Sandbox, WineTestCase, lay_fleet_content, windows_path,
                     wine_env)

MARKER = "cleanup-done-%s.txt" % os.environ.get("KOVEX_VERSION", "@KOVEX_VERSION@")
PROGRAMS = ["kovex-deepclean.exe", "kovex-deepclean-check.exe", "devcon.exe"]
# The headset is not plugged in: the cleanup's rescan does not bring it back,
# so a second install finds nothing left to remove.
MACHINE = ("device USB\\VID_3F7C&PID_0A01\\6&1\n"
           "  description Kovex Pulse Headset\n"
           "  hardware USB\\VID_3F7C&PID_0A01\n"
           "  absent\n")


class CommandFiles(WineTestCase):
    def setUp(self):
        self.box = Sandbox("fleet")
        self.box.write_machine(MACHINE)
        files_and_registry.reset(self.box)
        drive_c = self.box.prefix / "drive_c"
        self.target = drive_c / "Program Files" / "KovexDeepClean"
        self.wrong = drive_c / "Program Files (x86)" / "KovexDeepClean"
        for folder in (self.target, self.wrong):
            shutil.rmtree(folder, ignore_errors=True)
        # A content folder whose name has a parenthesis, as a download's may.
        self.content = self.box.root / "content (1)"
        lay_fleet_content(self.box, self.content)

    def tearDown(self):
        shutil.rmtree(self.target, ignore_errors=True)
        files_and_registry.reset(self.box)

    def call(self, name, own_process=False, prints=None):
        """Runs `name` in the content folder through cmd.exe, with
        %ProgramFiles% as a 32-bit caller sees it (which holds only within
        that cmd.exe: a new process takes the one of its own bitness); its
        exit status and output. Wine's `call` gives 1 for any status but 0;
        `own_process` runs it in a cmd.exe of its own, whose exit status is
        the file's. `prints`: the file a stand-in cleanup prints."""
        driver = self.box.root / "driver.cmd"
        run = b"cmd /c " if own_process else b"call "
        standin = b""
        if prints is not None:
            standin = b'set "KOVEX_PRINTS=' + windows_path(prints).encode() + b'"\r\n'
        # The status is printed as well: Wine hands Linux only its low byte.
        driver.write_bytes(
            b'@echo off\r\nset "ProgramFiles=C:\\Program Files (x86)"\r\n' + standin +
            b'cd /d "' + windows_path(self.content).encode() + b'"\r\n'
            + run + name.encode() + b"\r\n"
            b"echo exit status %ERRORLEVEL%\r\n"
            b"exit /b %ERRORLEVEL%\r\n")
        done = self.box.wine("cmd", "/c", windows_path(driver))
        output = done.stdout.decode("latin-1")
        status = re.findall(r"^exit status (-?[0-9]+)\r?$", output, re.MULTILINE)
        self.assertEqual(done.returncode, int(status[-1]) & 0xFF, output)
        return int(status[-1]), output

    def test_install_copies_to_native_program_files_and_cleans_there(self):
        status, output = self.call("Install.cmd")

        self.assertEqual(0, status, output)
        self.assertFalse(self.wrong.exists(), "copied to the 32-bit Program Files")
        for name in PROGRAMS:
            self.assertEqual((self.content / name).read_bytes(),
                             (self.target / name).read_bytes(), name)
        # The cleanup ran in that folder: its log, its listing files, and the
        # device gone from the simulated machine.
        log = (self.target / "cleanup.log").read_bytes().decode("latin-1")
        self.assertIn("\t Removed :  Kovex Pulse Headset", log)
        self.assertTrue(log.replace("\r", "").endswith("Done.\n"), log)
        self.assertTrue((self.target / "devicelist.txt").exists())
        self.assertEqual([], self.box.devices())
        self.assertTrue((self.target / MARKER).exists(), "no marker after Done.")
        self.assertIn("Verdict: CLEAN", (self.target / "check.log").read_text("latin-1"))

        # Again, over the folder it made: the same, with nothing left to do.
        status, output = self.call("Install.cmd")
        self.assertEqual(0, status, output)
        self.assertNotIn("Removed", (self.target / "cleanup.log").read_text("latin-1"))

        status, output = self.call("Uninstall.cmd")
        self.assertEqual(0, status, output)
        self.assertFalse(self.target.exists())
        status, output = self.call("Uninstall.cmd")
        self.assertEqual(0, status, "removing a folder that is not there")

    def test_install_without_devcon_copies_nothing_and_fails(self):
        (self.content / "devcon.exe").unlink()

        status, output = self.call("Install.cmd", own_process=True)

        self.assertEqual(2, status, output)
        self.assertIn("devcon.exe is missing", output)
        self.assertFalse(self.target.exists())
        self.assertEqual([], self.box.invocations())

    def test_install_marks_only_a_cleanup_that_ran_to_its_end(self):
        # Each case: the machine, a program put in the content in place of
        # the cleanup (None: the real one), what a stand-in cleanup prints
        # (None: no stand-in), the exit status, whether the marker is there
        # afterwards. A marker of an earlier run is there before each: it
        # must stand for this run alone. The check decides from the log.
        waits = MACHINE.replace("  absent\n", "  remove-on-reboot\n")
        standin = Path(os.environ["KOVEX_STARTED_PROGRAM"]).read_bytes()
        head = b"Deep Clean Kovex Drivers (Jun 21 2021 11:52:20)\r\nRemoving devices...\r\n"
        tail = b"Rescannig...\r\nDone.\r\n"
        cases = [
            ("a removal waits for a reboot: restart asked", waits, None, None, 3010, True),
            ("the cleanup cannot start", MACHINE, b"not a program", None, 1, False),
            # Another program in its place: it runs, prints, and never
            # reaches "Done.".
            ("the cleanup stops before Done.", MACHINE, self.box.devcon.read_bytes(), None,
             1, False),
            ("a stand-in's log that ran to its end", MACHINE, standin, head + tail, 0, True),
            ("Done. last, but a removal was ended at the run's deadline", MACHINE, standin,
             head + b"\t Not finished within the run's 1500 s, ended: devcon -f remove "
             b"@USB\\VID_3F7C&PID_0A01\\6&1\r\n\t !!! Remove FAILED :  Kovex\r\n" + tail,
             1, False),
            ("Done. last, but the rescan was not started", MACHINE, standin,
             head + b"\t Not started, the run's 1500 s are spent: devcon rescan \r\n" + tail,
             1, False),
            ("Done. only after a lone carriage return", MACHINE, standin,
             head + b'\t Removed :  Kovex "\rDone.\r\n', 1, False),
        ]
        real = self.box.exe.read_bytes()
        log = self.box.root / "printed.log"
        for name, machine, cleanup, prints, status, marked in cases:
            with self.subTest(name):
                self.box.write_machine(machine)
                (self.content / "kovex-deepclean.exe").write_bytes(cleanup or real)
                if prints is not None:
                    log.write_bytes(prints)
                self.target.mkdir(parents=True, exist_ok=True)
                (self.target / MARKER).write_text("an earlier run\n")

                got, output = self.call("Install.cmd", own_process=True,
                                        prints=log if prints is not None else None)

                self.assertEqual(status, got, output)
                self.assertEqual(marked, (self.target / MARKER).exists(),
                                 output + (self.target / "cleanup.log").read_text("latin-1"))
                if status == 1:
                    self.assertIn("The cleanup did not run to its end: ", output)
                if prints is not None:
                    self.assertEqual(prints, (self.target / "cleanup.log").read_bytes())

    def test_install_takes_its_turn_while_the_remediations_cleanup_runs(self):
        # The folder as the first install leaves it; then the remediation's
        # cleanup (its script's own command line, through Wine's cmd) runs
        # from it, its listings slow, and Install.cmd starts meanwhile: it
        # copies nothing over the running program (the same bytes), its
        # cleanup waits on the lock, and each reads its own log alone.
        status, output = self.call("Install.cmd")
        self.assertEqual(0, status, output)
        self.box.write_machine(MACHINE.replace("  absent\n", "  absent\nfault findall sleep 3000\n"))
        theirs = self.target / "cleanup-remediation.log"
        driver = self.box.root / "remediation.cmd"
        driver.write_bytes(b'@echo off\r\ncd /d "' + windows_path(self.target).encode() +
                           b'"\r\ncmd /d /c ".\\kovex-deepclean.exe >cleanup-remediation.log 2>&1"\r\n')
        thread = threading.Thread(target=lambda: self.box.wine(
            "cmd", "/c", windows_path(driver), timeout=240))
        thread.start()
        for _ in range(600):
            if theirs.exists() and b"Removing devices" in theirs.read_bytes():
                break
            time.sleep(0.1)

        status, output = self.call("Install.cmd", own_process=True)
        thread.join()

        self.assertEqual(0, status, output)
        self.assertTrue((self.target / MARKER).exists(), output)
        ours = (self.target / "cleanup.log").read_text("latin-1").replace("\r", "")
        other = theirs.read_text("latin-1").replace("\r", "")
        self.assertIn("Waiting for the cleanup already running on this machine", ours)
        self.assertNotIn("Waiting", other)
        self.assertIn("\t Removed :  Kovex Pulse Headset", other)
        self.assertNotIn("Removed", ours)
        for log in (ours, other):
            self.assertTrue(log.endswith("Done.\n"), log)
        said = self.box.check("--cleanup-log", windows_path(theirs))
        self.assertEqual((0, "The cleanup ran to its end.\n"), (said.status, said.text))

    def test_install_from_the_source_tree_refuses_and_runs_nothing(self):
        # The source tree's Install.cmd, its version never written.
        source = ROOT / "fleet" / "Install.cmd"
        text = source.read_bytes().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        self.assertIn(b"@KOVEX_VERSION@", text)
        (self.content / "Install.cmd").write_bytes(text)

        status, output = self.call("Install.cmd", own_process=True)

        self.assertEqual(4, status, output)
        self.assertIn("never written by the release build", output)
        self.assertFalse(self.target.exists(), "copied or ran something")
        self.assertEqual([], self.box.invocations())


if __name__ == "__main__":
    unittest.main()
