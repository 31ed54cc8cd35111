"""The whole run on one machine carrying everything of the maker's (devices,
audio endpoints, driver packages, driver files, installer registry keys)
among other makers' items: the exact output from banner to "Done.", status
0, and nothing of another maker's touched."""

import unittest

import test_devices
import test_driver_packages
import test_files_and_registry as files_and_registry
from harness import BANNER_SEEN, Sandbox


class WholeRun(unittest.TestCase):
    def tearDown(self):
        files_and_registry.reset(Sandbox("reset"))

    def test_everything_of_the_makers_goes_and_nothing_else(self):
        box = Sandbox("whole_run")
        box.install_devcon()
        box.write_machine(test_devices.MACHINE + test_driver_packages.STORE)
        files_and_registry.seed(box)

        run = box.run()

        self.assertEqual(0, run.status)
        self.assertEqual(
            BANNER_SEEN + "\n"
            "Removing devices...\n"
            "\t Removed :  Kovex Pulse Headset\n"
            "\t Removed :  Kovex Glide Mouse\n"
            "\t Removed :  Kovex QZV Dock: Audio\n"
            "\t !!! Remove FAILED :  Kovex Stuck Receiver\n"
            "\t Removed :  QZV Control Pad\n"
            "\t !!! Remove FAILED :  Kovex QZV Dock: Audio\n"
            "Removing audio devices...\n"
            "\t Removed :  Speakers (Kovex Pulse Headset)\n"
            "\t Removed :  Microphone (QZV Control Pad)\n"
            "Scanning installed drivers...\n"
            "Cleanning up driver packages...\n"
            "\t Kovex INF: oem12.inf - Removed\n"
            "\t Kovex INF: oem13.inf - Remove FAILED!!!\n"
            "\t Kovex INF: oem27.inf - Removed\n"
            "\t Error parsing driverlist... \n"
            "\t Kovex INF: oem44.inf - Removed\n"
            "Removing driver files...\n"
            "Removing driver installer registry...\n"
            "Rescannig...\n"
            "Done.\n", run.text)

        self.assertEqual(
            [["findall", "*VID_3F7C*"], ["findall", "*QZV*"]],
            box.invocations()[:2])
        self.assertEqual(["rescan"], box.invocations()[-1])
        self.assertEqual([r"USB\VID_3F7C&PID_0D30\5&AB12&0&4",
                          r"USB\VID_3F7C&PID_0E40\5&CD34&0&5"] +
                         test_devices.OTHERS, box.devices())
        self.assertEqual(["oem3.inf", "oem13.inf", "oem21.inf", "oem30.inf",
                          "oem31.inf", "oem52.inf"], box.packages())
        files_and_registry.assert_only_the_makers_files_and_keys_gone(self, box)


if __name__ == "__main__":
    unittest.main()
