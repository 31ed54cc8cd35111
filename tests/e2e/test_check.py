"""The check end to end: kovex-deepclean-check.exe under Wine against the
simulator, on a clean machine, on the whole run's machine before and after
the cleanup, and with devcon missing or failing. It must find every trace,
run devcon for the four listings only, and leave the machine and the working
directory as they were."""

import json
import unittest

import test_devices
import test_driver_packages
import test_files_and_registry as files_and_registry
from harness import Sandbox, sandbox_with_devcon

LISTINGS = [["findall", "*VID_3F7C*"], ["findall", "*QZV*"],
            ["findall", "*MMDEVAPI*"], ["/dp_enum"]]
DRIVERS = "C:\\windows\\system32\\drivers\\"
KEY = "HKEY_LOCAL_MACHINE\\Software\\Kovex\\"
NO_DEVCON = "devcon.exe is neither in the working directory nor on PATH"
BARE = r"USB\VID_3F7C&PID_0E40\5&CD34&0&5"
STUCK = r"USB\VID_3F7C&PID_0D30\5&AB12&0&4"


def trace(kind, id, description=""):
    return {"kind": kind, "id": id, "description": description}


def device(id, description=""):
    return trace("device", id, description)


# Every trace of the maker's on the whole run's machine, in the check's
# order.
BEFORE = [
    device(r"USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1", "Kovex Pulse Headset"),
    device(r"USB\VID_3F7C&PID_0B10\7&19A4C2&0&3", "Kovex Glide Mouse"),
    device(r"USB\VID_3F7C&PID_0C20&MI_00\9&1F00AA&0&0000",
           "Kovex QZV Dock: Audio"),
    device(STUCK, "Kovex Stuck Receiver"),
    device(BARE),
    device(r"HID\QZV_PAD&COL01\8&3D1E77&0&0000", "QZV Control Pad"),
    trace("audio-endpoint",
          r"SWD\MMDEVAPI\{0.0.0.00000000}.{5f2a6c1e-1b7d-4c8e-9a3b-2f6e8d4c1a07}",
          "Speakers (Kovex Pulse Headset)"),
    trace("audio-endpoint",
          r"SWD\MMDEVAPI\{0.0.1.00000000}.{9b3e1d4f-7a2c-4e6b-8d1f-3c5a7e9b2d40}",
          "Microphone (QZV Control Pad)"),
    trace("driver-package", "oem12.inf", "Kovex Inc"),
    trace("driver-package", "oem13.inf", "Kovex Inc"),
    trace("driver-package", "oem27.inf", "Contoso Audio (Class: QZV Audio Devices)"),
    trace("driver-package", "oem44.inf", "Kovex Incorporated Partners"),
] + [trace("driver-file", name, DRIVERS + name) for name in (
    "KxDev_audio.sys", "KxDev_hid.sys", "KxDev_ro.sys", "KxCommon.sys")] + [
    trace("registry-key", name, KEY + name)
    for name in ("AudioDriverSetup", "KxDrvInstaller")]

# What the cleanup leaves of it: the device whose removal fails, the device
# listed without a description, the package whose deletion fails.
AFTER_TEXT = (
    "Kovex driver check (read-only: nothing is changed)\n"
    "Devices:\n"
    "\t " + STUCK + " : Kovex Stuck Receiver\n"
    "\t " + BARE + " (listed without a description)\n"
    "\t \t the cleanup passes over it; remove it with: "
    "devcon -f remove \"@" + BARE + "\"\n"
    "Audio endpoints:\n"
    "\t none\n"
    "Driver packages:\n"
    "\t oem13.inf : Kovex Inc\n"
    "Driver files in C:\\windows\\system32\\drivers:\n"
    "\t none\n"
    "Installer registry keys in HKEY_LOCAL_MACHINE\\Software\\Kovex "
    "(32-bit view):\n"
    "\t none\n"
    "What to do:\n"
    "\t Run kovex-deepclean.exe in an elevated console, then check again.\n"
    "\t A trace still there after the cleanup: its removal failed or waits "
    "for a reboot. Reboot, then check again.\n"
    "\t Remove what the cleanup passes over with the command shown under it, "
    "in an elevated console.\n"
    "Verdict: NOT CLEAN: 3 traces of Kovex's drivers found.\n")


def document(run):
    return json.loads(run.raw.decode("utf-8"))


class Check(unittest.TestCase):
    def tearDown(self):
        files_and_registry.reset(Sandbox("reset"))

    def snapshot(self, box):
        """Everything the check must leave as it found it."""
        return (box.machine_text(), sorted(p.name for p in box.cwd.iterdir()),
                sorted(p.name for p in box.drivers.iterdir()),
                box.reg_keys("HKLM\\Software\\Kovex", "32"))

    def test_clean_machine(self):
        box = sandbox_with_devcon("check_clean")
        files_and_registry.reset(box)
        run = box.check()
        self.assertEqual(0, run.status, run.text)
        self.assertTrue(run.text.endswith(
            "Verdict: CLEAN: nothing of Kovex's drivers is left.\n"), run.text)
        self.assertNotIn("NOT CHECKED", run.text)
        self.assertEqual(LISTINGS, box.invocations())
        self.assertEqual({"clean": True, "complete": True, "traces": [],
                          "unchecked": []}, document(box.check("--json")))

    def test_whole_run_machine_before_the_cleanup(self):
        box = sandbox_with_devcon(
            "check_whole_run",
            test_devices.MACHINE + test_driver_packages.STORE)
        files_and_registry.seed(box)
        before = self.snapshot(box)

        run = box.check("--json")

        self.assertEqual(1, run.status)
        self.assertEqual({"clean": False, "complete": True, "traces": BEFORE,
                          "unchecked": []}, document(run))
        text = box.check()
        self.assertEqual(1, text.status)
        self.assertTrue(text.text.endswith(
            "Verdict: NOT CLEAN: %d traces of Kovex's drivers found.\n"
            % len(BEFORE)), text.text)
        self.assertEqual(LISTINGS * 2, box.invocations())
        self.assertEqual(before, self.snapshot(box), "the check changed something")

    # A fault of the check: the cleanup's closing rescan re-creates the
    # plugged-in devices it removed (the headset as "USB Audio Device", the
    # control pad, the dock, and their endpoints), as Windows does, and the
    # check, going by findall alone, calls each of them a trace left behind.
    @unittest.expectedFailure
    def test_whole_run_machine_after_the_cleanup(self):
        box = sandbox_with_devcon(
            "check_whole_run_after",
            test_devices.MACHINE + test_driver_packages.STORE)
        files_and_registry.seed(box)
        box.run()
        run = box.check()
        self.assertEqual(1, run.status)
        self.assertEqual(AFTER_TEXT, run.text)

    def test_devcon_missing(self):
        box = Sandbox("check_no_devcon")
        files_and_registry.reset(box)
        run = box.check("--json")
        self.assertEqual(2, run.status)
        self.assertEqual(
            {"clean": False, "complete": False, "traces": [],
             "unchecked": [{"check": check, "reason": NO_DEVCON} for check in
                           ("devices", "audio-endpoints", "driver-packages")]},
            document(run))
        self.assertEqual([], box.invocations())

        # What the check could look at still counts.
        (box.drivers / "KxCommon.sys").write_bytes(b"MZ\n")
        run = box.check()
        self.assertEqual(1, run.status)
        self.assertIn("Devices:\n\t NOT CHECKED: " + NO_DEVCON + "\n", run.text)
        self.assertIn("\t KxCommon.sys\n", run.text)

    def test_failing_listings_are_named(self):
        box = sandbox_with_devcon(
            "check_failing_listings",
            test_driver_packages.STORE + "fault findall:*MMDEVAPI* exit 2\n"
            "fault dp_enum crash\n")
        files_and_registry.reset(box)
        run = box.check("--json")
        self.assertEqual(2, run.status)
        unchecked = document(run)["unchecked"]
        self.assertEqual(
            [{"check": "audio-endpoints",
              "reason": "devcon findall *MMDEVAPI* ended with exit code 2"}],
            unchecked[:1])
        self.assertEqual("driver-packages", unchecked[1]["check"])
        self.assertRegex(unchecked[1]["reason"],
                         r"^devcon /dp_enum ended with exit code [0-9]+$")
        self.assertEqual(LISTINGS, box.invocations())


if __name__ == "__main__":
    unittest.main()
