"""The harness's own promise, on which every other test's time limit
rests: a run is over when the program is, whatever it left running."""

import os
import signal
import subprocess
import unittest

from harness import (WineDidNotStart, WineTestCase, not_started, sandbox_with_devcon,
                     windows_path)


def processes_of(box):
    """The ids of the processes Wine runs with `box`'s simulator state in
    their environment."""
    mark = ("DEVCON_SIM_STATE=" + windows_path(box.state)).encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as environ:
                if mark in environ.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            continue
    return found


class RunWine(WineTestCase):
    def test_ends_with_the_program_not_with_what_holds_its_output(self):
        # cmd starts the simulator, which answers a minute later, and ends at
        # once; the simulator holds cmd's output and error output meanwhile,
        # as Wine's desktop holds the error output of the cleanup's runs. A
        # run that waited for them would pass its time limit.
        box = sandbox_with_devcon("left_running", "fault findall sleep 60000\n")
        self.addCleanup(lambda: [os.kill(pid, signal.SIGKILL)
                                 for pid in processes_of(box)])
        done = box.wine("cmd", "/C", "echo", "started", "&", "start", "/B",
                        windows_path(box.cwd / "devcon.exe"), "findall", "*",
                        timeout=40)
        self.assertEqual((0, b"started \r\n"), (done.returncode, done.stdout))
        self.assertTrue(processes_of(box), "nothing was left running")


class Attempts(unittest.TestCase):
    def test_a_start_wine_did_not_make_runs_the_test_again_after_its_cleanups(self):
        events = []

        class Case(WineTestCase):
            def test_it(self):
                self.addCleanup(events.append, "cleanup")
                events.append("attempt")
                if events.count("attempt") < 3:
                    raise WineDidNotStart("cmd: status 1 and no output at all")

            def test_never_started(self):
                raise WineDidNotStart("cmd: status 1 and no output at all")

        result = unittest.TestResult()
        Case("test_it").run(result)
        self.assertEqual((["attempt", "cleanup"] * 3, [], []),
                         (events, result.errors, result.failures))
        # The last attempt's failure to start is the test's error, not a pass.
        Case("test_never_started").run(result)
        self.assertEqual(1, len(result.errors))

    def test_what_counts_as_not_started(self):
        def done(status, out):
            return subprocess.CompletedProcess([], status, out, b"")

        started = b"Application could not be started, or no application associated"
        report = b"\t \t Failed to launch process Error Code 1359: Internal error.\r\n"
        self.assertEqual(
            [True, True, True, False, False, False, False],
            [bool(not_started(done(1, started), False)),
             bool(not_started(done(1, b""), True)),
             bool(not_started(done(0, b"Removing devices...\r\n" + report), True)),
             # Wine's own commands may end so; ours always write first.
             bool(not_started(done(1, b""), False)),
             bool(not_started(done(1, b"Deep Clean"), True)),
             bool(not_started(done(0, b"\t \t Failed to launch process Error Code 2: "
                                    b"File not found.\r\n"), True)),
             bool(not_started(done(0, b""), True))])


if __name__ == "__main__":
    unittest.main()
