"""The fleet kit's command files when something goes wrong, under Wine's
cmd.exe, as the release ships them (CR LF line ends): Install.cmd stops with
exit status 3 when the folder cannot be made or a copy fails, and runs no
cleanup then; Uninstall.cmd exits 1 when the folder stays (a file in it is
held open)."""

import shutil
import subprocess
import time
import unittest

from harness import WINE_RUN, Sandbox, lay_fleet_content, windows_path, WineTestCase


class CommandFileFailures(WineTestCase):
    def setUp(self):
        self.box = Sandbox("fleet_failures")
        self.target = self.box.prefix / "drive_c" / "Program Files" / "KovexDeepClean"
        self.remove_target()
        self.content = self.box.root / "content"
        lay_fleet_content(self.box, self.content)

    def tearDown(self):
        self.remove_target()

    def remove_target(self):
        if self.target.is_dir():
            shutil.rmtree(self.target, ignore_errors=True)
        elif self.target.exists():
            self.target.unlink()

    def hold_open(self, path):
        """Starts a program that holds `path` open for writing (cmd's
        redirection of the simulator, which answers late), as a running
        program holds its files; returns it once the file is there."""
        self.box.write_machine("fault findall sleep 8000\n")
        holder_cmd = self.box.root / "holder.cmd"
        holder_cmd.write_bytes(('"%s" findall * >> "%s"\r\n' % (
            windows_path(self.content / "devcon.exe"), windows_path(path))).encode())
        holder = subprocess.Popen(
            [str(WINE_RUN), "cmd", "/c", windows_path(holder_cmd)],
            cwd=self.box.cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=self.box.env())
        for _ in range(200):
            if path.exists():
                break
            time.sleep(0.05)
        self.assertTrue(path.exists())
        # Its own start is logged: the tests look at the cleanup's only.
        time.sleep(0.5)
        self.box.log.unlink(missing_ok=True)
        return holder


    def call(self, name, program_files=None):
        """Runs `name` from the content folder in a cmd.exe of its own, with
        %ProgramW6432% set to `program_files` if given; its exit status and
        output."""
        driver = self.box.root / "driver.cmd"
        native = b""
        if program_files is not None:
            native = b'set "ProgramW6432=' + windows_path(program_files).encode() + b'"\r\n'
        driver.write_bytes(
            b'@echo off\r\n' + native + b'cd /d "' + windows_path(self.content).encode()
            + b'"\r\ncmd /c ' + name.encode() + b"\r\nexit /b %ERRORLEVEL%\r\n")
        done = self.box.wine("cmd", "/c", windows_path(driver))
        return done.returncode, done.stdout.decode("latin-1")

    def fc_tells_files_apart(self):
        """Whether this cmd's `fc /b` exits non-zero for two files of other
        bytes, as Windows' does. Wine's fc is a stub that exits 0 for any
        two files, so there a copy that failed over another file looks like
        one over a file of the same bytes."""
        one, other = self.box.root / "fc-one.bin", self.box.root / "fc-other.bin"
        one.write_bytes(b"one")
        other.write_bytes(b"other")
        done = self.box.wine("cmd", "/c", "fc", "/b", windows_path(one), windows_path(other))
        return done.returncode != 0

    def test_install_that_cannot_make_its_folder_or_copy_stops_with_3(self):
        # The native Program Files folder is a file: the folder in it cannot
        # be made.
        not_a_folder = self.box.root / "not-a-folder"
        not_a_folder.touch()
        cases = [
            ("the folder cannot be made", lambda: None, not_a_folder),
            # devcon.exe in the folder held open by a program: its copy fails.
            ("a copy fails", lambda: self.target.mkdir(parents=True)
             or self.hold_open(self.target / "devcon.exe"), None),
        ]
        for what, obstacle, program_files in cases:
            with self.subTest(what):
                if what == "a copy fails" and not self.fc_tells_files_apart():
                    self.skipTest("this cmd's fc /b does not tell files apart (Wine's is a "
                                  "stub): a failed copy over another program cannot be shown")
                self.remove_target()
                holder = obstacle()
                try:
                    status, output = self.call("Install.cmd", program_files)
                finally:
                    if holder is not None:
                        holder.wait(timeout=120)

                self.assertEqual(3, status, output)
                self.assertEqual([], self.box.invocations(), "the cleanup ran")
                self.assertFalse((self.target / "cleanup.log").exists())

    def test_uninstall_that_leaves_the_folder_fails_with_1(self):
        status, output = self.call("Install.cmd")
        self.assertEqual(0, status, output)
        # A program holds a file in the folder open.
        holder = self.hold_open(self.target / "held.txt")
        try:
            status, output = self.call("Uninstall.cmd")

            self.assertEqual(1, status, output)
            self.assertTrue(self.target.exists())
        finally:
            holder.wait(timeout=120)
        status, output = self.call("Uninstall.cmd")
        self.assertEqual(0, status, output)
        self.assertFalse(self.target.exists())


if __name__ == "__main__":
    unittest.main()
