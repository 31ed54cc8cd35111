"""The check end to end: kovex-deepclean-check.exe under Wine against the
simulator, on a clean machine, on the whole run's machine before and after
the cleanup, and with devcon missing or failing. It must find every trace,
run devcon for the four listings only, and leave the machine and the working
directory as they were."""

import datetime
import json
import os
import re
import signal
import socket
import subprocess
import time
import unittest
from pathlib import Path

import test_devices
import test_driver_packages
import test_files_and_registry as files_and_registry
from harness import (WINE_RUN, Sandbox, sandbox_with_devcon, windows_path,
                     wine_env, WineTestCase)

# Each with -u: the three device listings, the driver store, and what of
# each device listing is present.
LISTINGS = [["-u", "findall", "*VID_3F7C*"], ["-u", "findall", "*QZV*"],
            ["-u", "findall", "*MMDEVAPI*"], ["-u", "/dp_enum"],
            ["-u", "status", "*VID_3F7C*"], ["-u", "status", "*QZV*"],
            ["-u", "status", "*MMDEVAPI*"]]
DRIVERS = "C:\\windows\\system32\\drivers\\"
KEY = "HKEY_LOCAL_MACHINE\\Software\\Kovex\\"
NO_DEVCON = "devcon.exe is neither in the working directory nor on PATH"
BARE = r"USB\VID_3F7C&PID_0E40\5&CD34&0&5"
STUCK = r"USB\VID_3F7C&PID_0D30\5&AB12&0&4"


def trace(kind, id, description="", awaits_reboot=False, manual_removal=None):
    entry = {"kind": kind, "id": id, "description": description,
             "awaits_reboot": awaits_reboot}
    if manual_removal is not None:
        entry["manual_removal"] = manual_removal
    return entry


def device(id, description=""):
    return trace("device", id, description)


# Every trace of the maker's on the whole run's machine, in the check's
# order: the device no longer plugged in, the packages, files and keys.
BEFORE = [
    device(r"USB\VID_3F7C&PID_0B10\7&19A4C2&0&3", "Kovex Glide Mouse"),
    trace("driver-package", "oem12.inf", "Kovex Inc"),
    trace("driver-package", "oem13.inf", "Kovex Inc"),
    trace("driver-package", "oem27.inf", "Contoso Audio (Class: QZV Audio Devices)"),
    trace("driver-package", "oem44.inf", "Kovex Incorporated Partners"),
] + [trace("driver-file", name, DRIVERS + name) for name in (
    "KxDev_audio.sys", "KxDev_hid.sys", "KxDev_ro.sys", "KxCommon.sys")] + [
    trace("registry-key", name, KEY + name)
    for name in ("AudioDriverSetup", "KxDrvInstaller")]

HEADSET_ID = r"USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1"
DOCK = r"USB\VID_3F7C&PID_0C20&MI_00\9&1F00AA&0&0000"
PAD_ID = r"HID\QZV_PAD&COL01\8&3D1E77&0&0000"
MICROPHONE_ID = (
    r"SWD\MMDEVAPI\{0.0.1.00000000}.{9b3e1d4f-7a2c-4e6b-8d1f-3c5a7e9b2d40}")


def plugged(kind, id, description, status="Driver is running."):
    return {"kind": kind, "id": id, "description": description,
            "status": status}


# What of it is plugged in, running the maker's drivers: no traces.
BEFORE_ATTACHED = [
    plugged("device", HEADSET_ID, "Kovex Pulse Headset"),
    plugged("device", DOCK, "Kovex QZV Dock: Audio"),
    plugged("device", STUCK, "Kovex Stuck Receiver"),
    plugged("device", BARE, ""),
    plugged("device", PAD_ID, "QZV Control Pad"),
    plugged("audio-endpoint",
            r"SWD\MMDEVAPI\{0.0.0.00000000}.{5f2a6c1e-1b7d-4c8e-9a3b-2f6e8d4c1a07}",
            "Speakers (Kovex Pulse Headset)"),
    plugged("audio-endpoint", MICROPHONE_ID, "Microphone (QZV Control Pad)"),
]

# What the cleanup leaves of it: the package whose deletion fails. Its
# rescan re-created every plugged-in device, as Windows does: the headset
# and the pad under Windows' own names, the dock without a driver; the
# receiver whose removal failed and the device the cleanup passes over are
# still plugged in. None of them is a trace.
AFTER_TEXT = (
    "Kovex driver check (read-only: nothing is changed)\n"
    "Devices:\n\t none\n"
    "Audio endpoints:\n\t none\n"
    "Driver packages:\n"
    "\t oem13.inf : Kovex Inc\n"
    "Driver files in C:\\windows\\system32\\drivers:\n"
    "\t none\n"
    "Installer registry keys in HKEY_LOCAL_MACHINE\\Software\\Kovex "
    "(32-bit view):\n"
    "\t none\n"
    "Attached now (plugged in, not traces):\n"
    "\t " + HEADSET_ID + " : USB Audio Device [Driver is running.]\n"
    "\t " + DOCK + " : Kovex QZV Dock: Audio "
    "[The device has the following problem: 28]\n"
    "\t " + STUCK + " : Kovex Stuck Receiver [Driver is running.]\n"
    "\t " + BARE + " (without a description) [Driver is running.]\n"
    "\t " + PAD_ID + " : HID-compliant game controller [Driver is running.]\n"
    "\t " + MICROPHONE_ID + " : Microphone (QZV Control Pad) "
    "[The device has the following problem: 28]\n"
    "\t Windows re-creates a plugged-in device at every rescan. Whatever of "
    "Kovex's it still runs shows above, under driver packages and files.\n"
    "What to do:\n"
    "\t Run kovex-deepclean.exe in an elevated console, then check again.\n"
    "\t A trace still there after the cleanup: its removal failed or waits "
    "for a reboot. Reboot, then check again.\n"
    "Verdict: NOT CLEAN: 1 trace of Kovex's drivers found.\n")


def document(run):
    """The check's document, less the fields that name the machine, the time
    and the version, which are checked here: the host's name as Wine gives
    it, a UTC time of this run, and the project's version."""
    found = json.loads(run.raw.decode("utf-8"))
    computer = found.pop("computer")
    checked_at = found.pop("checked_at")
    version = found.pop("version")
    assert computer == socket.gethostname().split(".")[0], computer
    when = datetime.datetime.strptime(checked_at, "%Y-%m-%dT%H:%M:%SZ").replace(
        tzinfo=datetime.timezone.utc)
    now = datetime.datetime.now(datetime.timezone.utc)
    assert now - datetime.timedelta(minutes=10) <= when <= now, checked_at
    assert version == os.environ.get("KOVEX_VERSION", version), version
    return found


class Check(WineTestCase):
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
                          "unchecked": [], "attached": []},
                         document(box.check("--json")))

    def test_whole_run_machine_before_the_cleanup(self):
        box = sandbox_with_devcon(
            "check_whole_run",
            test_devices.MACHINE + test_driver_packages.STORE)
        files_and_registry.seed(box)
        before = self.snapshot(box)

        run = box.check("--json")

        self.assertEqual(1, run.status)
        self.assertEqual({"clean": False, "complete": True, "traces": BEFORE,
                          "unchecked": [], "attached": BEFORE_ATTACHED},
                         document(run))
        text = box.check()
        self.assertEqual(1, text.status)
        self.assertTrue(text.text.endswith(
            "Verdict: NOT CLEAN: %d traces of Kovex's drivers found.\n"
            % len(BEFORE)), text.text)
        self.assertEqual(LISTINGS * 2, box.invocations())
        self.assertEqual(before, self.snapshot(box), "the check changed something")

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
                           ("devices", "audio-endpoints", "driver-packages")],
             "attached": []},
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

    def test_json_is_ascii_whatever_the_listing_bytes(self):
        # Two unplugged devices, one named in Latin-1's range, one beyond the
        # BMP: the document escapes each, and reads back as the same text;
        # the report for a person prints one byte per character.
        box = sandbox_with_devcon("check_non_ascii")
        box.state.write_bytes(
            b"device USB\\VID_3F7C&PID_0A01\\6&1\n"
            b"  description Kovex Kopfh\xc3\xb6rer\n"
            b"  hardware USB\\VID_3F7C&PID_0A01\n"
            b"  absent\n"
            b"device USB\\VID_3F7C&PID_0A02\\6&2\n"
            b"  description Kovex Kopfh\xc3\xb6rer \xf0\x9f\x8e\xa7\n"
            b"  hardware USB\\VID_3F7C&PID_0A02\n"
            b"  absent\n")
        files_and_registry.reset(box)

        run = box.check("--json")

        self.assertEqual(1, run.status)
        self.assertEqual([], [byte for byte in run.raw if byte >= 0x80], run.raw)
        self.assertIn(b"Kovex Kopfh\\u00f6rer \\ud83c\\udfa7", run.raw)
        self.assertEqual(
            [device(r"USB\VID_3F7C&PID_0A01\6&1", "Kovex Kopfh\u00f6rer"),
             device(r"USB\VID_3F7C&PID_0A02\6&2",
                    "Kovex Kopfh\u00f6rer \U0001f3a7")],
            document(run)["traces"])
        text = box.check()
        self.assertIn(" : Kovex Kopfh\xf6rer\n", text.text)
        self.assertIn(" : Kovex Kopfh\xf6rer ??\n", text.text)


# Every device of the maker's plugged in: the headset, whose name carries a
# character above U+00FF, followed by the mouse; the dongle, whose removal
# waits for a reboot; the control pad and the two endpoints.
PLUGGED = "\n".join([
    r"device USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1",
    "  description Kovex Pulse\u2122 Headset",
    r"  hardware USB\VID_3F7C&PID_0A01",
    "  rescan-description USB Audio Device",
    "  rescan-driver usbaudio",
    r"device USB\VID_3F7C&PID_0B10\7&19A4C2&0&3",
    "  description Kovex Glide Mouse",
    r"  hardware USB\VID_3F7C&PID_0B10",
    "  rescan-description USB Input Device",
    "  rescan-driver hidusb",
    r"device USB\VID_3F7C&PID_0F50\5&EE56&0&6",
    "  description Kovex Wireless Dongle",
    r"  hardware USB\VID_3F7C&PID_0F50",
    "  remove-on-reboot",
    r"device HID\QZV_PAD&COL01\8&3D1E77&0&0000",
    "  description QZV Control Pad",
    r"  hardware HID\QZV_PAD&COL01",
    r"device SWD\MMDEVAPI\{0.0.0.00000000}.{5f2a6c1e-1b7d-4c8e-9a3b-2f6e8d4c1a07}",
    "  description Speakers (Kovex Pulse\u2122 Headset)",
    r"  hardware MMDEVAPI\AudioEndpoints",
    r"  parent USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1",
    "  rescan-description Speakers (USB Audio Device)",
    "  rescan-driver audioendpoint",
    r"device SWD\MMDEVAPI\{0.0.1.00000000}.{9b3e1d4f-7a2c-4e6b-8d1f-3c5a7e9b2d40}",
    "  description Microphone (QZV Control Pad)",
    r"  hardware MMDEVAPI\AudioEndpoints",
    r"  parent HID\QZV_PAD&COL01\8&3D1E77&0&0000",
    "  rescan-driver audioendpoint",
    "package oem12.inf",
    "  provider Kovex Inc",
    "  class Sound, video and game controllers",
    ""])
HEADSET = r"USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1"
MOUSE = r"USB\VID_3F7C&PID_0B10\7&19A4C2&0&3"
DONGLE = r"USB\VID_3F7C&PID_0F50\5&EE56&0&6"
PAD = r"HID\QZV_PAD&COL01\8&3D1E77&0&0000"
SPEAKERS = r"SWD\MMDEVAPI\{0.0.0.00000000}.{5f2a6c1e-1b7d-4c8e-9a3b-2f6e8d4c1a07}"
MICROPHONE = r"SWD\MMDEVAPI\{0.0.1.00000000}.{9b3e1d4f-7a2c-4e6b-8d1f-3c5a7e9b2d40}"
RUNNING = "Driver is running."
NO_DRIVER = "The device has the following problem: 28"
BEING_REMOVED = "The device has the following problem: 21 Driver is running."


def attached(kind, id, description, status):
    return {"kind": kind, "id": id, "description": description,
            "status": status}


def plugged_in_box(name, extra=""):
    box = sandbox_with_devcon(name)
    box.state.write_text(PLUGGED + extra, encoding="utf-8")
    files_and_registry.reset(box)
    return box


class PluggedIn(WineTestCase):
    maxDiff = None

    def test_check_cleanup_check(self):
        box = plugged_in_box("check_plugged_in")

        before = document(box.check("--json"))

        self.assertEqual(
            {"clean": False, "complete": True,
             "traces": [trace("driver-package", "oem12.inf", "Kovex Inc")],
             "unchecked": [],
             "attached": [
                 attached("device", HEADSET, "Kovex Pulse\u2122 Headset", RUNNING),
                 attached("device", MOUSE, "Kovex Glide Mouse", RUNNING),
                 attached("device", DONGLE, "Kovex Wireless Dongle", RUNNING),
                 attached("device", PAD, "QZV Control Pad", RUNNING),
                 attached("audio-endpoint", SPEAKERS,
                          "Speakers (Kovex Pulse\u2122 Headset)", RUNNING),
                 attached("audio-endpoint", MICROPHONE,
                          "Microphone (QZV Control Pad)", RUNNING)]},
            before)

        box.run()
        after = box.check()

        self.assertEqual(1, after.status, after.text)
        self.assertEqual(
            "Kovex driver check (read-only: nothing is changed)\n"
            "Devices:\n"
            "\t " + DONGLE + " : Kovex Wireless Dongle\n"
            "\t \t its removal waits for a reboot [" + BEING_REMOVED + "]\n"
            "Audio endpoints:\n\t none\n"
            "Driver packages:\n\t none\n"
            "Driver files in C:\\windows\\system32\\drivers:\n\t none\n"
            "Installer registry keys in HKEY_LOCAL_MACHINE\\Software\\Kovex "
            "(32-bit view):\n\t none\n"
            "Attached now (plugged in, not traces):\n"
            "\t " + HEADSET + " : USB Audio Device [" + RUNNING + "]\n"
            # The mouse listed after the headset's "\u2122" was removed too
            # (whole lines, with -u): the rescan made it anew, by
            # Windows' own name for it.
            "\t " + MOUSE + " : USB Input Device [" + RUNNING + "]\n"
            "\t " + PAD + " : QZV Control Pad [" + NO_DRIVER + "]\n"
            "\t " + MICROPHONE + " : Microphone (QZV Control Pad) ["
            + RUNNING + "]\n"
            "\t Windows re-creates a plugged-in device at every rescan. "
            "Whatever of Kovex's it still runs shows above, under driver "
            "packages and files.\n"
            "What to do:\n"
            "\t Reboot to finish the removals that wait for it, then check "
            "again.\n"
            "Verdict: NOT CLEAN: 1 trace of Kovex's drivers found.\n",
            after.text)

    def test_engines_are_told_what_waits_for_a_reboot_and_what_needs_a_command(self):
        # After the cleanup: the dongle's removal waits for a reboot; an
        # unplugged device listed without a description and a hidden driver
        # file are passed over by the cleanup, each with its command.
        bare = r"USB\VID_3F7C&PID_0E41\5&CD34&0&9"
        box = plugged_in_box("check_engines", "device %s\n  hardware USB\\VID_3F7C&PID_0E41\n"
                             "  absent\n" % bare)
        self.addCleanup(files_and_registry.reset, box)
        cleanup = box.run()
        # Made hidden after the cleanup: Wine's del, unlike Windows', takes
        # hidden files too.
        (box.drivers / "KxDev_hidden.sys").write_bytes(b"MZ\n")
        self.addCleanup((box.drivers / "KxDev_hidden.sys").unlink)
        box.commands("attrib +H C:\\windows\\system32\\drivers\\KxDev_hidden.sys")
        hidden = DRIVERS + "KxDev_hidden.sys"

        run = box.check("--json", "--reboot-code")

        # Wine hands Linux the low byte of the exit code: 3010 arrives as
        # 194 (tests/e2e/test_fleet.py reads the whole code through cmd).
        self.assertEqual(3010 & 0xFF, run.status,
                         (cleanup.text, cleanup.errors, box.log.read_text("utf-8"),
                          run.raw, run.errors))
        self.assertEqual(
            [trace("device", DONGLE, "Kovex Wireless Dongle", awaits_reboot=True),
             trace("device", bare, manual_removal='devcon -f remove "@%s"' % bare),
             trace("driver-file", "KxDev_hidden.sys", hidden,
                   manual_removal='del /F /A:H "%s"' % hidden)],
            document(run)["traces"])
        # Nothing the cleanup removes: Remediations is told so, and why.
        line = box.check("--remediation")
        self.assertEqual(0, line.status)
        self.assertEqual(
            "PENDING: nothing the cleanup removes | reboot to finish removing device "
            + DONGLE + ' | remove by hand: devcon -f remove "@' + bare + '"; del /F /A:H "'
            + hidden + '"\r\n', line.raw.decode("ascii"))
        # The collector's rows: the machine's DNS host name as Windows (here
        # Wine) gives it, a row per trace quoted as Export-Csv quotes, and
        # each line ending in CR LF, as Export-Csv ends them there.
        rows = box.check("--csv")
        self.assertEqual(1, rows.status)
        machine = '"%s","1","False","True",' % socket.gethostname().split(".")[0]
        self.assertEqual(
            '"machine","status","clean","complete","kind","id","description",'
            '"awaits_reboot","manual_removal","unchecked","checked_at"\r\n'
            + machine + '"device","%s","Kovex Wireless Dongle","True","",""\r\n' % DONGLE
            + machine + '"device","%s","","False","devcon -f remove ""@%s""",""\r\n'
            % (bare, bare)
            + machine + '"driver-file","KxDev_hidden.sys","%s","False","del /F /A:H ""%s""",'
            '""\r\n' % (hidden, hidden),
            re.sub(r',"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ"\r\n', "\r\n", rows.raw.decode("utf-8")))

    def test_presence_that_cannot_be_told_leaves_traces_and_is_unchecked(self):
        # status fails for the brand's pattern; the endpoints' status hangs
        # past the check's limit of 120 s.
        box = plugged_in_box(
            "check_presence_untold",
            "fault status:*QZV* exit 2\nfault status:*MMDEVAPI* sleep 600000\n")

        run = box.check("--json")

        self.assertEqual(1, run.status)
        self.assertLess(run.seconds, 200, "the check waited for a hung devcon")
        result = document(run)
        self.assertFalse(result["complete"])
        self.assertEqual(
            [{"check": "devices",
              "reason": "whether they are plugged in could not be told: "
                        "devcon status *QZV* ended with exit code 2"},
             {"check": "audio-endpoints",
              "reason": "whether they are plugged in could not be told: "
                        "devcon did not finish within 120 s"}],
            result["unchecked"])
        self.assertEqual([], result["attached"])
        self.assertEqual([HEADSET, MOUSE, DONGLE, PAD, SPEAKERS, MICROPHONE,
                          "oem12.inf"],
                         [entry["id"] for entry in result["traces"]])

    def test_devcon_without_unicode_option_is_caught_by_its_counts(self):
        # An older devcon refuses -u: the check asks again without it and
        # reads bytes, where the headset's "\u2122" glues the mouse's line to
        # its own and the speakers' the microphone's. The count lines say so;
        # what the cut lines leave readable is still reported.
        box = sandbox_with_devcon("check_without_unicode")
        box.state.write_text(PLUGGED[:PLUGGED.index("package ")]
                             + "without-unicode-option\n", encoding="utf-8")
        files_and_registry.reset(box)

        run = box.check("--json")

        self.assertEqual(1, run.status, run.raw)
        result = document(run)
        self.assertEqual(
            [{"check": "devices",
              "reason": "devcon reported 3 devices and listed 2"},
             {"check": "audio-endpoints",
              "reason": "devcon reported 2 devices and listed 1"}],
            result["unchecked"])
        self.assertEqual([HEADSET, SPEAKERS],
                         [entry["id"] for entry in result["traces"]])
        self.assertEqual(["-u", "findall", "*VID_3F7C*"], box.invocations()[0])
        self.assertEqual([["findall", "*VID_3F7C*"], ["findall", "*QZV*"]],
                         box.invocations()[1:3])
        self.assertEqual([], [argv for argv in box.invocations()[1:]
                              if "-u" in argv])

    def test_devcon_without_unicode_option_cutting_a_class_name(self):
        # Without -u devcon cuts "Class: Устройства HID" and glues oem14.inf
        # onto it; the maker's provider line then stands under oem3, another
        # maker's package. No package is named, none to delete by hand.
        box = sandbox_with_devcon("check_cut_class")
        box.state.write_text(
            "package oem3.inf\n  provider Other Corp\n"
            "  class \u0423\u0441\u0442\u0440\u043e\u0439\u0441\u0442\u0432\u0430 HID\n"
            "package oem14.inf\n  provider Kovex Inc\n  class Mice\n"
            "without-unicode-option\n", encoding="utf-8")
        files_and_registry.reset(box)

        run = box.check()

        self.assertEqual(2, run.status, run.text)
        self.assertIn(
            "Driver packages:\n"
            "\t NOT CHECKED: devcon without -u cut a line of its package "
            "listing, so which package is whose cannot be told\n"
            "Driver files in", run.text)
        self.assertNotIn("dp_delete", run.text)
        self.assertEqual(
            [{"check": "driver-packages",
              "reason": "devcon without -u cut a line of its package listing, "
                        "so which package is whose cannot be told"}],
            document(box.check("--json"))["unchecked"])

    def test_killed_check_leaves_no_devcon_behind(self):
        box = plugged_in_box("check_killed", "fault status sleep 600000\n")
        check = subprocess.Popen(
            [str(WINE_RUN), windows_path(box.bin / box.check_exe.name)],
            cwd=box.cwd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            env=wine_env(DEVCON_SIM_STATE=windows_path(box.state),
                         DEVCON_SIM_LOG=windows_path(box.log)))
        try:
            deadline = time.monotonic() + 120
            while ["-u", "status", "*VID_3F7C*"] not in box.invocations():
                self.assertLess(time.monotonic(), deadline, "devcon never ran")
                time.sleep(0.2)
            # The check's own process under Wine, ended as a deployment
            # engine ends a script past its time.
            check.kill()
            for pid in windows_processes(box.root, "kovex-deepclean-check.exe"):
                os.kill(pid, signal.SIGKILL)
            # Its output ends: no devcon holds a copy of it.
            check.communicate(timeout=60)
            deadline = time.monotonic() + 30
            while windows_processes(box.root, "devcon.exe"):
                self.assertLess(time.monotonic(), deadline, "devcon left running")
                time.sleep(0.2)
        finally:
            check.kill()
            check.wait()
            # Whatever this test started and left, not to hold up the rest.
            for pid in windows_processes(box.root, ".exe"):
                os.kill(pid, signal.SIGKILL)


def windows_processes(folder, name):
    """The ids of this machine's processes running `name` from below
    `folder`, as Wine names them in their command lines."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes().decode("latin-1")
        except OSError:
            continue
        if name in command and folder.name in command:
            found.append(int(entry.name))
    return found


if __name__ == "__main__":
    unittest.main()
