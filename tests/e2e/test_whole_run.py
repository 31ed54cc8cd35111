"""The whole run on one machine carrying everything of the maker's (devices,
audio endpoints, driver packages, driver files, installer registry keys)
among other makers' items: the exact output from banner to "Done.", status
0, and nothing of another maker's touched."""

import unittest

import test_devices
import test_driver_packages
import test_files_and_registry as files_and_registry
from harness import BANNER_SEEN, Sandbox, sandbox_with_devcon, WineTestCase


class WholeRun(WineTestCase):
    def tearDown(self):
        files_and_registry.reset(Sandbox("reset"))

    def test_everything_of_the_makers_goes_and_nothing_else(self):
        box = sandbox_with_devcon(
            "whole_run", test_devices.MACHINE + test_driver_packages.STORE)
        files_and_registry.seed(box)

        run = box.run()

        self.assertEqual(0, run.status)
        self.assertEqual(
            BANNER_SEEN + "\n" + test_devices.OUTPUT +
            test_driver_packages.OUTPUT +
            "Removing driver files...\n"
            "Removing driver installer registry...\n"
            "Rescannig...\n"
            "Done.\n", run.text)

        self.assertEqual(
            [["-u", "findall", "*VID_3F7C*"], ["-u", "findall", "*QZV*"]],
            box.invocations()[:2])
        self.assertEqual(["rescan"], box.invocations()[-1])
        self.assertEqual(test_devices.REMAINING, box.devices())
        self.assertEqual(test_driver_packages.REMAINING, box.packages())
        files_and_registry.assert_only_the_makers_files_and_keys_gone(self, box)


if __name__ == "__main__":
    unittest.main()
