"""The driver package step end to end: the driver store listed through cmd,
the maker's packages force-deleted, every other provider's left alone."""

import unittest

from harness import sandbox_with_devcon, WineTestCase

STORE = """
package oem3.inf
  provider Intel Corporation
  class System devices
package oem12.inf
  provider Kovex Inc
  class Sound, video and game controllers
  in-use
package oem13.inf
  provider Kovex Inc
  class Human Interface Devices
  fail-delete
package oem21.inf
  provider Realtek Semiconductor Corp.
  class Sound, video and game controllers
package oem27.inf
  provider Contoso Audio
  class QZV Audio Devices
package oem30.inf
  provider kovex inc
  class Ports
package oem31.inf
  unreadable
package oem44.inf
  provider Kovex Incorporated Partners
  class Sound, video and game controllers
package oem52.inf
  provider Kovex
  class Mice and other pointing devices
"""

# What the package step prints for STORE, and what stays of it.
OUTPUT = (
    "Scanning installed drivers...\n"
    "Cleanning up driver packages...\n"
    "\t Kovex INF: oem12.inf - Removed\n"
    "\t Kovex INF: oem13.inf - Remove FAILED!!!\n"
    "\t Kovex INF: oem27.inf - Removed\n"
    "\t Kovex INF: oem44.inf - Removed\n")
REMAINING = ["oem3.inf", "oem13.inf", "oem21.inf", "oem30.inf", "oem31.inf",
             "oem52.inf"]


class DriverPackages(WineTestCase):
    def test_deletes_the_makers_packages_only(self):
        box = sandbox_with_devcon("driver_packages", STORE)

        run = box.run()

        self.assertEqual(0, run.status)
        self.assertIn(OUTPUT + "Removing driver files...\n", run.text)
        self.assertEqual(
            [["-f", "/dp_delete", "oem12.inf"],
             ["-f", "/dp_delete", "oem13.inf"],
             ["-f", "/dp_delete", "oem27.inf"],
             ["-f", "/dp_delete", "oem44.inf"]],
            [argv for argv in box.invocations() if "/dp_delete" in argv])
        self.assertEqual(REMAINING, box.packages())
        self.assertEqual(
            "Scanning installed drivers...\n"
            "Cleanning up driver packages...\n"
            "\t Kovex INF: oem13.inf - Remove FAILED!!!\n"
            "Removing driver files...\n",
            self.package_lines(box.run().text),
            "a second run finds only the package that would not go")

    @staticmethod
    def package_lines(text):
        start = text.index("Scanning installed drivers...")
        return text[start:text.index("Removing driver installer registry...")]

    def test_empty_store_prints_the_two_headings(self):
        box = sandbox_with_devcon("empty_store")
        run = box.run()
        self.assertEqual(
            "Scanning installed drivers...\n"
            "Cleanning up driver packages...\n"
            "Removing driver files...\n", self.package_lines(run.text))

    def test_failed_listing_stops_after_the_first_heading(self):
        box = sandbox_with_devcon("failed_listing", STORE + "fault dp_enum exit 2\n")
        (box.cwd / "driverlist.txt").write_text(
            "oem21.inf\r\n    Provider: Kovex Inc\r\n")
        run = box.run()
        self.assertEqual(
            "Scanning installed drivers...\n"
            "Removing driver files...\n", self.package_lines(run.text))
        self.assertEqual([], [argv for argv in box.invocations()
                              if "/dp_delete" in argv])
        self.assertEqual(9, len(box.packages()))

    def test_listing_file_left_in_the_working_directory(self):
        box = sandbox_with_devcon("listing_left", STORE)
        box.run()
        # UTF-16LE without a byte-order mark, as devcon -u writes it.
        listing = (box.cwd / "driverlist.txt").read_bytes()
        self.assertTrue(listing.startswith((
            "The following third-party driver packages are installed on this "
            "computer:\r\noem3.inf\r\n    Provider: Intel Corporation\r\n"
        ).encode("utf-16-le")))

    def test_package_after_a_localised_class_name_is_deleted(self):
        # "Устройства HID": with bytes, devcon would cut that line and glue
        # oem14.inf onto it; with -u the line comes whole.
        box = sandbox_with_devcon("localised_class", """
package oem3.inf
  provider Other Corp
  class \u0423\u0441\u0442\u0440\u043e\u0439\u0441\u0442\u0432\u0430 HID
package oem14.inf
  provider Kovex Inc
  class \u041c\u044b\u0448\u0438
""")
        run = box.run()
        self.assertEqual(
            "Scanning installed drivers...\n"
            "Cleanning up driver packages...\n"
            "\t Kovex INF: oem14.inf - Removed\n"
            "Removing driver files...\n", self.package_lines(run.text))
        self.assertEqual([["-f", "/dp_delete", "oem14.inf"]],
                         [argv for argv in box.invocations()
                          if "/dp_delete" in argv])
        self.assertEqual(["oem3.inf"], box.packages())


if __name__ == "__main__":
    unittest.main()
