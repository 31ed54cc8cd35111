"""The mutation run's report of what killed a mutant: the failed tests by
name, and for a run cut short (a crash, a hang, a kill), the test that
started last in its output, however deeply the runners nest.

    python3 -m unittest discover -s tests/mutation
"""

import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import mutate  # noqa: E402

GTEST_CUT_SHORT = (
    "[==========] Running 3 tests from 1 test suite.\n"
    "[ RUN      ] CheckRun.Clean\n"
    "[       OK ] CheckRun.Clean (0 ms)\n"
    "[ RUN      ] CheckRun.TwoListingsFail\n")

CTEST_TIMEOUT = (
    "    Start  1: wine_prefix\n"
    "1/3 Test  #1: wine_prefix ......................   Passed    1.02 sec\n"
    "    Start  5: e2e.test_check\n"
    "2/3 Test  #5: e2e.test_check ...................***Timeout 240.01 sec\n"
    "test_clean (test_check.Check) ... ok\n"
    "test_hung_devcon (test_check.Check)\n"
    "A devcon that never ends is ended ... \n"
    "    Start  9: wine_stop\n"
    "3/3 Test  #9: wine_stop ........................   Passed    0.50 sec\n"
    "\n67% tests passed, 1 tests failed out of 3\n\n"
    "The following tests FAILED:\n"
    "\t  5 - e2e.test_check (Timeout)\n"
    "Errors while running CTest\n")


class FailedTests(unittest.TestCase):
    def test_failed_tests_names_each_failure_or_the_test_cut_short(self):
        cases = [
            ("gtest failures",
             "[  FAILED  ] Report.Advice\n[  FAILED  ] 1 test, listed below:\n"
             "[  FAILED  ] Report.Advice\n", "Report.Advice"),
            ("gtest crashed", GTEST_CUT_SHORT,
             "CheckRun.TwoListingsFail (did not finish)"),
            ("gtest killed", GTEST_CUT_SHORT + "\ntimed out after 180s\n",
             "CheckRun.TwoListingsFail (hung)"),
            ("unittest inside ctest, timed out", CTEST_TIMEOUT,
             "e2e.test_check (Timeout in test_check.Check.test_hung_devcon)"),
            ("unittest of Python 3.11, crashed inside ctest",
             CTEST_TIMEOUT.replace("(Timeout)", "(SEGFAULT)").replace(
                 "test_hung_devcon (test_check.Check)",
                 "test_hung_devcon (test_check.Check.test_hung_devcon)"),
             "e2e.test_check (SEGFAULT in test_check.Check.test_hung_devcon)"),
            ("gtest inside ctest, crashed",
             "    Start  2: win32_tests\n"
             "1/1 Test  #2: win32_tests ...***Exception: SegFault  3.10 sec\n"
             + GTEST_CUT_SHORT +
             "The following tests FAILED:\n\t  2 - win32_tests (SEGFAULT)\n",
             "win32_tests (SEGFAULT in CheckRun.TwoListingsFail)"),
            ("unittest failure inside ctest",
             "FAIL: test_copy_fails (test_fleet_failures.Install)\n"
             "The following tests FAILED:\n\t 12 - e2e.test_fleet_failures (Failed)\n",
             "test_fleet_failures.Install.test_copy_fails, e2e.test_fleet_failures"),
            ("ctest itself killed",
             "    Start  1: wine_prefix\n"
             "1/9 Test  #1: wine_prefix ....   Passed    1.02 sec\n"
             "    Start  4: e2e.test_fleet\n",
             "e2e.test_fleet (did not finish)"),
            ("tests/fleet",
             "ok: Install.cmd is ASCII only\nFAILED: every PowerShell script parses\n"
             "fleet: 1 passed, 1 failed\n", "every PowerShell script parses"),
            ("nothing to go by", "ninja: build stopped\n",
             "(see build/mutation/run.log)"),
        ]
        for what, output, named in cases:
            with self.subTest(what):
                self.assertEqual(named, mutate.failed_tests(output))


if __name__ == "__main__":
    unittest.main()
