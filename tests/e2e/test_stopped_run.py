"""A run stopped from outside keeps its log: a deployment engine redirects
the cleanup's output into a file (`> cleanup.log`) and ends it when it takes
too long. Every line printed before then must be in the file."""

import os
import signal
import subprocess
import time
import unittest

from harness import BANNER, WINE_RUN, sandbox_with_devcon, windows_path, wine_env
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


class StoppedRun(unittest.TestCase):
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


if __name__ == "__main__":
    unittest.main()
