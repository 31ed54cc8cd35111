"""The whole program on a machine with nothing of the maker's: the banner,
the step headings in order, the rescan, and "Done." with status 0, whatever
the device console tool does or whether it is there at all."""

import unittest

from harness import (BANNER_SEEN, LAUNCH_REPORT_SEEN, Sandbox,
                     sandbox_with_devcon, WineTestCase)

CLEAN_RUN = (
    BANNER_SEEN + "\n"
    "Removing devices...\n"
    "Removing audio devices...\n"
    "Scanning installed drivers...\n"
    "Cleanning up driver packages...\n"
    "Removing driver files...\n"
    "Removing driver installer registry...\n"
    "Rescannig...\n"
    "Done.\n")

CLEAN_INVOCATIONS = [
    ["-u", "findall", "*VID_3F7C*"],
    ["-u", "findall", "*QZV*"],
    ["-u", "findall", "*MMDEVAPI*"],
    ["-u", "/dp_enum"],
    ["rescan"],
]


class CleanMachine(WineTestCase):
    def sandbox(self):
        return sandbox_with_devcon(self.id().rsplit(".", 1)[-1])

    def test_devcon_on_the_search_path(self):
        box = self.sandbox()
        run = box.run()
        self.assertEqual(0, run.status)
        self.assertEqual(CLEAN_RUN, run.text)
        self.assertEqual(CLEAN_INVOCATIONS, box.invocations())

    def test_arguments_change_nothing(self):
        box = self.sandbox()
        run = box.run("/?", "-f", "remove", "*")
        self.assertEqual(0, run.status)
        self.assertEqual(CLEAN_RUN, run.text)
        self.assertEqual(CLEAN_INVOCATIONS, box.invocations())

    def test_rescan_exiting_2_or_failing_its_scan(self):
        for fault in ("fault rescan exit 2\n", "fault rescan scan-fails\n"):
            with self.subTest(fault=fault):
                box = self.sandbox()
                box.write_machine(fault)
                run = box.run()
                self.assertEqual(0, run.status)
                self.assertEqual(CLEAN_RUN, run.text)
                self.assertEqual(["rescan"], box.invocations()[-1])

    def test_rescan_crashing(self):
        box = self.sandbox()
        box.write_machine("fault rescan crash\n")
        run = box.run()
        self.assertEqual(0, run.status)
        self.assertEqual(CLEAN_RUN, run.text)
        self.assertEqual(["rescan"], box.invocations()[-1])

    def test_slow_rescan_is_waited_for(self):
        box = self.sandbox()
        box.write_machine("fault rescan sleep 2000\n")
        run = box.run()
        self.assertEqual(0, run.status)
        self.assertEqual(CLEAN_RUN, run.text)
        self.assertGreaterEqual(run.seconds, 2.0)


class NoDeviceConsole(WineTestCase):
    def test_listings_fail_and_rescan_reports_launch_failure(self):
        box = Sandbox("no_devcon")
        run = box.run()
        self.assertEqual(0, run.status)
        self.assertEqual(
            BANNER_SEEN + "\n"
            "Removing devices...\n"
            "Removing audio devices...\n"
            "Scanning installed drivers...\n"
            "Removing driver files...\n"
            "Removing driver installer registry...\n"
            "Rescannig...\n" + LAUNCH_REPORT_SEEN +
            "Done.\n", run.text)
        self.assertEqual([], box.invocations())


if __name__ == "__main__":
    unittest.main()
