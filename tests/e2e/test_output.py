"""The cleanup's output on a console and redirected. On a console every
character of a name arrives. A run stopped from outside keeps its log: a
deployment engine redirects the output into a file (`> cleanup.log`) and
ends the run when it takes too long; every line printed before then must be
in the file."""

import os
import pty
import re
import signal
import subprocess
import time
import unittest

import test_devices
from harness import BANNER, WINE_RUN, sandbox_with_devcon, windows_path, wine_env, WineTestCase
from test_check import windows_processes

HEADSET = r"USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1"
MOUSE = r"USB\VID_3F7C&PID_0B10\7&19A4C2&0&3"
# The mouse's removal hangs far longer than the test waits.
MACHINE = r"""
device %s
  description Kovex Pulse Headset
  hardware USB\VID_3F7C&PID_0A01
  absent
device %s
  description Kovex Glide Mouse
  hardware USB\VID_3F7C&PID_0B10
  absent
fault remove:@%s sleep 600000
""" % (HEADSET, MOUSE, MOUSE)


class StoppedRun(WineTestCase):
    def test_every_line_printed_before_the_stop_is_in_the_file(self):
        box = sandbox_with_devcon("stopped_run", MACHINE)
        log = box.root / "cleanup.log"
        with open(log, "wb") as output:
            cleanup = subprocess.Popen(
                [str(WINE_RUN), windows_path(box.bin / box.exe.name)],
                cwd=box.cwd, stdout=output, stderr=subprocess.DEVNULL,
                env=wine_env(DEVCON_SIM_STATE=windows_path(box.state),
                             DEVCON_SIM_LOG=windows_path(box.log)))
        try:
            deadline = time.monotonic() + 120
            while ["-f", "remove", "@" + MOUSE] not in box.invocations():
                self.assertLess(time.monotonic(), deadline, "never got to the mouse")
                time.sleep(0.2)
            # Ended as an engine ends a run past its time: no chance to
            # flush anything.
            for pid in windows_processes(box.root, "kovex-deepclean.exe"):
                os.kill(pid, signal.SIGKILL)
            cleanup.wait(timeout=60)
        finally:
            cleanup.kill()
            cleanup.wait()
            for pid in windows_processes(box.root, ".exe"):
                os.kill(pid, signal.SIGKILL)

        first, _, rest = log.read_bytes().decode("latin-1").partition("\r\n")
        self.assertRegex(first, BANNER)
        self.assertEqual("Removing devices...\r\n"
                         "\t Removed :  Kovex Pulse Headset\r\n", rest)


class Console(WineTestCase):
    """Wine gives a program whose standard output is a terminal a console of
    its own, and shows what is written to it on the terminal in UTF-8. That
    is Wine's console, not Windows'; what Windows' console shows of the same
    wide characters depends on its font."""

    def test_names_beyond_latin1_arrive_whole(self):
        box = sandbox_with_devcon("console", test_devices.NAMES_BEYOND_LATIN1)
        terminal, program_side = pty.openpty()
        cleanup = subprocess.Popen(
            [str(WINE_RUN), windows_path(box.bin / box.exe.name)],
            cwd=box.cwd, stdin=program_side, stdout=program_side,
            stderr=subprocess.DEVNULL,
            env=wine_env(DEVCON_SIM_STATE=windows_path(box.state),
                         DEVCON_SIM_LOG=windows_path(box.log)))
        os.close(program_side)
        shown = b""
        try:
            while True:
                try:
                    piece = os.read(terminal, 4096)
                except OSError:  # the program's side is closed
                    break
                if not piece:
                    break
                shown += piece
        finally:
            os.close(terminal)
            self.assertEqual(0, cleanup.wait(timeout=120))

        # Without the terminal's control sequences, line ends and the
        # blanks a tab became.
        text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", shown.decode("utf-8"))
        lines = [" ".join(line.split()) for line in text.split("\n")]
        self.assertEqual(
            ["Removing devices...",
             "Removed : Kovex Pulse\u2122 Pro Headset",
             "Removed : Kovex Pulse Headset",
             "Removing audio devices...",
             "Removed : \u0414\u0438\u043d\u0430\u043c\u0438\u043a\u0438 "
             "(Kovex Pulse Headset)",
             "Removed : \u30b9\u30d4\u30fc\u30ab\u30fc (Kovex Pulse Headset)",
             "Removed : \u0645\u0643\u0628\u0631\u0627\u062a "
             "\u0627\u0644\u0635\u0648\u062a (Kovex Pulse Headset)",
             "Scanning installed drivers..."], lines[1:9])


if __name__ == "__main__":
    unittest.main()
