"""The device and audio endpoint steps end to end: instances listed by the
maker's vendor ID and brand, endpoints that name the maker, each removed
through devcon and reported; every other maker's device left in place."""

import json
import unittest

import test_files_and_registry as files_and_registry
from harness import sandbox_with_devcon, WineTestCase

# A strict machine: its devcon exits 2 when a removal fails or finds nothing,
# so the tool's FAILED line shows. The real devcon exits 0 then (see
# RealDeviceConsole below).
MACHINE = r"""
strict-remove
device USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1
  description Kovex Pulse Headset
  hardware USB\VID_3F7C&PID_0A01&REV_0100
  hardware USB\VID_3F7C&PID_0A01
  compatible USB\Class_01&SubClass_01&Prot_00
  rescan-description USB Audio Device
  rescan-driver usbaudio
device USB\VID_3F7C&PID_0B10\7&19A4C2&0&3
  description Kovex Glide Mouse
  hardware USB\VID_3F7C&PID_0B10
  absent
device HID\QZV_PAD&COL01\8&3D1E77&0&0000
  description QZV Control Pad
  hardware HID\QZV_PAD&COL01
  rescan-description HID-compliant game controller
  rescan-driver hidusb
device USB\VID_3F7C&PID_0C20&MI_00\9&1F00AA&0&0000
  description Kovex QZV Dock: Audio
  hardware USB\VID_3F7C&PID_0C20&MI_00
  compatible USB\QZV_DOCK
device USB\VID_3F7C&PID_0D30\5&AB12&0&4
  description Kovex Stuck Receiver
  hardware USB\VID_3F7C&PID_0D30
  fail-remove
device USB\VID_3F7C&PID_0E40\5&CD34&0&5
  hardware USB\VID_3F7C&PID_0E40
device SWD\MMDEVAPI\{0.0.0.00000000}.{5f2a6c1e-1b7d-4c8e-9a3b-2f6e8d4c1a07}
  description Speakers (Kovex Pulse Headset)
  hardware MMDEVAPI\AudioEndpoints
  parent USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1
  rescan-description Speakers (USB Audio Device)
device SWD\MMDEVAPI\{0.0.1.00000000}.{9b3e1d4f-7a2c-4e6b-8d1f-3c5a7e9b2d40}
  description Microphone (QZV Control Pad)
  hardware MMDEVAPI\AudioEndpoints
  parent HID\QZV_PAD&COL01\8&3D1E77&0&0000
device SWD\MMDEVAPI\{0.0.0.00000000}.{c81d4e2a-6f3b-4a9c-b7e5-1d2f3a4b5c6d}
  description Speakers (Realtek High Definition Audio)
  hardware MMDEVAPI\AudioEndpoints
device SWD\MMDEVAPI\{0.0.0.00000000}.{e0a1b2c3-d4e5-4f60-8a7b-9c0d1e2f3a4b}
  description Headphones (KOVEX Pro)
  hardware MMDEVAPI\AudioEndpoints
device USB\VID_046D&PID_C52B\5&2F1A3B&0&2
  description Logitech USB Receiver
  hardware USB\VID_046D&PID_C52B
  compatible USB\Class_03
device PCI\VEN_8086&DEV_A0C8&SUBSYS_00000000&REV_20\3&11583659&0&FB
  description High Definition Audio Controller
  hardware PCI\VEN_8086&DEV_A0C8&REV_20
device USB\VID_3F7D&PID_0A01\4&77&0&1
  description Kovex-like Keyboard From Another Vendor
  hardware USB\VID_3F7D&PID_0A01
device ROOT\LEGACY_BEEP\0000
  hardware ROOT\LEGACY_BEEP
device HDAUDIO\FUNC_01&VEN_10EC&DEV_0256\4&2C7A&0&0001
  description Realtek Audio
  hardware HDAUDIO\FUNC_01&VEN_10EC&DEV_0256
"""

OTHERS = [
    r"SWD\MMDEVAPI\{0.0.0.00000000}.{c81d4e2a-6f3b-4a9c-b7e5-1d2f3a4b5c6d}",
    r"SWD\MMDEVAPI\{0.0.0.00000000}.{e0a1b2c3-d4e5-4f60-8a7b-9c0d1e2f3a4b}",
    r"USB\VID_046D&PID_C52B\5&2F1A3B&0&2",
    r"PCI\VEN_8086&DEV_A0C8&SUBSYS_00000000&REV_20\3&11583659&0&FB",
    r"USB\VID_3F7D&PID_0A01\4&77&0&1",
    r"ROOT\LEGACY_BEEP\0000",
    r"HDAUDIO\FUNC_01&VEN_10EC&DEV_0256\4&2C7A&0&0001",
]

# What the two device steps print for MACHINE.
OUTPUT = (
    "Removing devices...\n"
    "\t Removed :  Kovex Pulse Headset\n"
    "\t Removed :  Kovex Glide Mouse\n"
    "\t Removed :  Kovex QZV Dock: Audio\n"
    "\t !!! Remove FAILED :  Kovex Stuck Receiver\n"
    "\t Removed :  QZV Control Pad\n"
    # The dock carries both names: listed twice, already gone the second time.
    "\t !!! Remove FAILED :  Kovex QZV Dock: Audio\n"
    "Removing audio devices...\n"
    "\t Removed :  Speakers (Kovex Pulse Headset)\n"
    "\t Removed :  Microphone (QZV Control Pad)\n")

# What MACHINE holds after the run: the plugged-in devices the closing
# rescan re-created (the headset, the control pad, the dock and the two
# endpoints that belong to them), the device whose removal fails, the maker's
# device without a description (its listing line has no colon), and
# everybody else's. The unplugged mouse is gone for good.
HEADSET = r"USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1"
PAD = r"HID\QZV_PAD&COL01\8&3D1E77&0&0000"
REMAINING = [HEADSET, PAD,
             r"USB\VID_3F7C&PID_0C20&MI_00\9&1F00AA&0&0000",
             r"USB\VID_3F7C&PID_0D30\5&AB12&0&4",
             r"USB\VID_3F7C&PID_0E40\5&CD34&0&5",
             r"SWD\MMDEVAPI\{0.0.0.00000000}.{5f2a6c1e-1b7d-4c8e-9a3b-2f6e8d4c1a07}",
             r"SWD\MMDEVAPI\{0.0.1.00000000}.{9b3e1d4f-7a2c-4e6b-8d1f-3c5a7e9b2d40}",
             ] + OTHERS


def descriptions(box):
    """Each device of the machine file with its description."""
    found = {}
    device = None
    for line in box.machine_text().splitlines():
        if line.startswith("device "):
            device = line[len("device "):]
            found[device] = None
        elif line.startswith("  description ") and device:
            found[device] = line[len("  description "):]
    return found


def removals(box):
    return [argv for argv in box.invocations() if "remove" in argv]


def device_lines(text):
    return text[text.index("Removing devices..."):
                text.index("Scanning installed drivers...")]


class Devices(WineTestCase):
    def test_removes_the_makers_devices_and_endpoints_only(self):
        box = sandbox_with_devcon("devices", MACHINE)

        run = box.run()

        self.assertEqual(0, run.status)
        self.assertEqual(OUTPUT, device_lines(run.text))
        self.assertEqual([
            ["-u", "findall", "*VID_3F7C*"],
            ["-u", "findall", "*QZV*"],
            ["-f", "remove", r"@USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1"],
            ["-f", "remove", r"@USB\VID_3F7C&PID_0B10\7&19A4C2&0&3"],
            ["-f", "remove", r"@USB\VID_3F7C&PID_0C20&MI_00\9&1F00AA&0&0000"],
            ["-f", "remove", r"@USB\VID_3F7C&PID_0D30\5&AB12&0&4"],
            ["-f", "remove", r"@HID\QZV_PAD&COL01\8&3D1E77&0&0000"],
            ["-f", "remove", r"@USB\VID_3F7C&PID_0C20&MI_00\9&1F00AA&0&0000"],
            ["-u", "findall", "*MMDEVAPI*"],
            ["-f", "remove",
             r"@SWD\MMDEVAPI\{0.0.0.00000000}.{5f2a6c1e-1b7d-4c8e-9a3b-2f6e8d4c1a07}"],
            ["-f", "remove",
             r"@SWD\MMDEVAPI\{0.0.1.00000000}.{9b3e1d4f-7a2c-4e6b-8d1f-3c5a7e9b2d40}"],
        ], box.invocations()[:11])
        self.assertEqual(8, len(removals(box)))
        self.assertEqual(REMAINING, box.devices())
        # The two that came back were removed: the rescan made them anew.
        self.assertEqual("USB Audio Device", descriptions(box)[HEADSET])
        self.assertEqual("HID-compliant game controller", descriptions(box)[PAD])
        listing = (box.cwd / "devicelist.txt").read_text(encoding="utf-16-le")
        self.assertEqual(2, listing.count("matching device(s) found."))

    def test_failed_first_listing_removes_nothing(self):
        box = sandbox_with_devcon(
            "failed_first_listing", MACHINE + "fault findall:*VID_3F7C* exit 2\n")
        run = box.run()
        self.assertEqual(
            "Removing devices...\n"
            "Removing audio devices...\n"
            "\t Removed :  Speakers (Kovex Pulse Headset)\n"
            "\t Removed :  Microphone (QZV Control Pad)\n",
            device_lines(run.text))
        self.assertEqual(["-u", "findall", "*QZV*"], box.invocations()[1])
        self.assertEqual(2, len(removals(box)))

    def test_failed_audio_listing_skips_the_endpoints(self):
        box = sandbox_with_devcon(
            "failed_audio_listing", MACHINE + "fault findall:*MMDEVAPI* crash\n")
        run = box.run()
        self.assertTrue(device_lines(run.text).endswith(
            "Removing audio devices...\n"), run.text)
        self.assertNotIn(r"SWD\MMDEVAPI", "".join(
            argv[-1] for argv in removals(box)))

    def test_second_run_finds_what_came_back_and_what_would_not_go(self):
        """The plugged-in devices came back at the first run's rescan, with
        the names Windows' own drivers give them; the speakers' endpoint
        came back without the maker's name."""
        box = sandbox_with_devcon("second_run", MACHINE)
        box.run()
        run = box.run()
        self.assertEqual(
            "Removing devices...\n"
            "\t Removed :  USB Audio Device\n"
            "\t Removed :  Kovex QZV Dock: Audio\n"
            "\t !!! Remove FAILED :  Kovex Stuck Receiver\n"
            "\t Removed :  HID-compliant game controller\n"
            "\t !!! Remove FAILED :  Kovex QZV Dock: Audio\n"
            "Removing audio devices...\n"
            "\t Removed :  Microphone (QZV Control Pad)\n", device_lines(run.text))


PRO = r"USB\VID_3F7C&PID_0A02\5&1A2B3C4D&0&2"
PULSE = r"USB\VID_3F7C&PID_0101\5&1A2B3C4D&0&1"
RUSSIAN = r"SWD\MMDEVAPI\{0.0.0.00000000}.{7d1c2b3a-4e5f-4a6b-9c8d-0e1f2a3b4c5d}"
NEIGHBOUR = r"SWD\MMDEVAPI\{0.0.0.00000000}.{8e2d3c4b-5f60-4b7c-8d9e-1f2a3b4c5d6e}"
JAPANESE = r"SWD\MMDEVAPI\{0.0.0.00000000}.{9f3e4d5c-6071-4c8d-9eaf-2a3b4c5d6e7f}"
ARABIC = r"SWD\MMDEVAPI\{0.0.0.00000000}.{a04f5e6d-7182-4d9e-afb0-3b4c5d6e7f80}"
# Names beyond Latin-1: a "\u2122" in a device listed right before another
# of the maker's, and the maker's endpoints as a Russian, a Japanese and an
# Arabic Windows name them ("Динамики (Kovex Pulse Headset)"), the Russian
# one next to another maker's.
NAMES_BEYOND_LATIN1 = """
device %s
  description Kovex Pulse\u2122 Pro Headset
  hardware USB\\VID_3F7C&PID_0A02
  absent
device %s
  description Kovex Pulse Headset
  hardware USB\\VID_3F7C&PID_0101
  absent
device %s
  description \u0414\u0438\u043d\u0430\u043c\u0438\u043a\u0438 (Realtek\u2122 Audio)
  hardware MMDEVAPI\\AudioEndpoints
device %s
  description \u0414\u0438\u043d\u0430\u043c\u0438\u043a\u0438 (Kovex Pulse Headset)
  hardware MMDEVAPI\\AudioEndpoints
  absent
device %s
  description \u30b9\u30d4\u30fc\u30ab\u30fc (Kovex Pulse Headset)
  hardware MMDEVAPI\\AudioEndpoints
  absent
device %s
  description \u0645\u0643\u0628\u0631\u0627\u062a \u0627\u0644\u0635\u0648\u062a (Kovex Pulse Headset)
  hardware MMDEVAPI\\AudioEndpoints
  absent
""" % (PRO, PULSE, NEIGHBOUR, RUSSIAN, JAPANESE, ARABIC)


class NamesBeyondLatin1(WineTestCase):
    """devcon -u writes UTF-16: whole lines, whatever the names hold. The
    output redirected shows '?' for what one byte cannot hold."""

    def test_every_item_of_the_makers_goes_and_the_neighbour_stays(self):
        box = sandbox_with_devcon("beyond_latin1", NAMES_BEYOND_LATIN1)
        files_and_registry.reset(box)
        self.assertEqual([PRO, PULSE, RUSSIAN, JAPANESE, ARABIC], [
            trace["id"] for trace in json.loads(
                box.check("--json").raw.decode("utf-8"))["traces"]])
        checked = len(box.invocations())

        run = box.run()

        self.assertEqual(
            "Removing devices...\n"
            "\t Removed :  Kovex Pulse? Pro Headset\n"
            "\t Removed :  Kovex Pulse Headset\n"
            "Removing audio devices...\n"
            "\t Removed :  ???????? (Kovex Pulse Headset)\n"
            "\t Removed :  ????? (Kovex Pulse Headset)\n"
            "\t Removed :  ?????? ????? (Kovex Pulse Headset)\n",
            device_lines(run.text))
        self.assertEqual([
            ["-u", "findall", "*VID_3F7C*"],
            ["-u", "findall", "*QZV*"],
            ["-f", "remove", "@" + PRO],
            ["-f", "remove", "@" + PULSE],
            ["-u", "findall", "*MMDEVAPI*"],
            ["-f", "remove", "@" + RUSSIAN],
            ["-f", "remove", "@" + JAPANESE],
            ["-f", "remove", "@" + ARABIC],
        ], [argv for argv in box.invocations()[checked:]
            if "findall" in argv or "remove" in argv])
        self.assertEqual([NEIGHBOUR], box.devices())
        # The check, reading the same whole lines, agrees.
        self.assertEqual(0, box.check().status)

    def test_devcon_without_unicode_option_is_asked_once(self):
        """An older devcon refuses -u with status 3: that listing runs again
        without it, and so does every later one; the lines it writes whole
        are all removed."""
        box = sandbox_with_devcon("without_unicode_option",
                                  MACHINE + "without-unicode-option\n")

        run = box.run()

        self.assertEqual(OUTPUT, device_lines(run.text))
        listings = [argv for argv in box.invocations()
                    if "findall" in argv or "/dp_enum" in argv]
        self.assertEqual([
            ["-u", "findall", "*VID_3F7C*"],
            ["findall", "*VID_3F7C*"],
            ["findall", "*QZV*"],
            ["findall", "*MMDEVAPI*"],
            ["/dp_enum"],
        ], listings)
        self.assertEqual(REMAINING, box.devices())
        self.assertIn("2 matching device(s) found.\r\n",
                      (box.cwd / "devicelist.txt").read_bytes().decode("latin-1"))


class RealDeviceConsole(WineTestCase):
    """devcon's own exit codes for remove: 0 whether or not the device went,
    1 when it goes only at the next reboot. The tool counts status 0 as
    success and anything else as failure."""

    def test_status_zero_is_reported_removed_whatever_devcon_did(self):
        box = sandbox_with_devcon(
            "real_exit_codes", MACHINE.replace("strict-remove\n", ""))
        run = box.run()
        self.assertEqual(0, run.status)
        self.assertEqual(
            OUTPUT.replace("!!! Remove FAILED :", "Removed :"),
            device_lines(run.text))
        self.assertEqual(REMAINING, box.devices())

    def test_removal_waiting_for_a_reboot_is_reported_failed(self):
        dongle = r"USB\VID_3F7C&PID_0F50\5&EE56&0&6"
        box = sandbox_with_devcon("reboot_pending", (
            "device %s\n"
            "  description Kovex Wireless Dongle\n"
            "  hardware USB\\VID_3F7C&PID_0F50\n"
            "  remove-on-reboot\n") % dongle)
        run = box.run()
        self.assertEqual(0, run.status)
        self.assertEqual(
            "Removing devices...\n"
            "\t !!! Remove FAILED :  Kovex Wireless Dongle\n"
            "Removing audio devices...\n", device_lines(run.text))
        self.assertIn(["-f", "remove", "@" + dongle], box.invocations())
        self.assertEqual([dongle], box.devices())

if __name__ == "__main__":
    unittest.main()
