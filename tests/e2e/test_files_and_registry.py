"""The driver file and installer registry steps end to end, on the prefix's
real driver directory and registry."""

import unittest

from harness import Sandbox, sandbox_with_devcon, WineTestCase

MAKER = "HKLM\\Software\\Kovex"
SEEN = "HKEY_LOCAL_MACHINE\\Software\\Kovex\\"

DOOMED_FILES = ["KxDev_audio.sys", "KxDev_hid.sys", "KxDev_ro.sys", "KxCommon.sys"]
KEPT_FILES = ["KxDevice.sys", "KxCommonHelper.sys", "KxDev_notes.txt",
              "other_vendor.sys"]


def reset(box):
    box.reg_delete([(key, view) for key in (MAKER, "HKLM\\Software\\Contoso")
                    for view in ("32", "64")])
    for path in box.drivers.iterdir():
        if path.name in DOOMED_FILES + KEPT_FILES:
            path.unlink()


def seed(box):
    reset(box)
    box.reg_add([(MAKER + "\\" + key, "32") for key in (
        "KxDrvInstaller", "KxDrvInstaller\\Cache\\Deep", "AudioDriverSetup",
        "AudioDriverSetup\\Components", "Settings", "drvlower", "DRIVERS",
        "Updater")] + [(MAKER + "\\KxDrvInstaller", "64"),
                       ("HKLM\\Software\\Contoso\\DrvSetup", "32")])
    for name in DOOMED_FILES + KEPT_FILES:
        (box.drivers / name).write_bytes(b"MZ\n")
    box.commands("attrib +R C:\\windows\\system32\\drivers\\KxDev_ro.sys")


def assert_only_the_makers_files_and_keys_gone(test, box):
    present = sorted(p.name for p in box.drivers.iterdir()
                     if p.name in DOOMED_FILES + KEPT_FILES)
    test.assertEqual(sorted(KEPT_FILES), present)
    test.assertEqual(
        sorted([SEEN + "Settings", SEEN + "drvlower", SEEN + "DRIVERS",
                SEEN + "Updater"]), sorted(box.reg_keys(MAKER, "32")))
    test.assertEqual([SEEN + "KxDrvInstaller"], box.reg_keys(MAKER, "64"))
    test.assertEqual(["HKEY_LOCAL_MACHINE\\Software\\Contoso\\DrvSetup"],
                     box.reg_keys("HKLM\\Software\\Contoso", "32"))


HEADINGS = "Removing driver files...\nRemoving driver installer registry...\n"


def step_lines(text):
    return text[text.index("Removing driver files..."):text.index("Rescannig...")]


class FilesAndRegistry(WineTestCase):
    def tearDown(self):
        reset(Sandbox("reset"))

    def test_removes_driver_files_and_installer_subkeys_only(self):
        box = sandbox_with_devcon("files_and_registry")
        seed(box)

        run = box.run()

        self.assertEqual(0, run.status)
        self.assertEqual(HEADINGS, step_lines(run.text))
        assert_only_the_makers_files_and_keys_gone(self, box)

    def test_nothing_there_prints_the_headings_only(self):
        box = sandbox_with_devcon("nothing_there")
        reset(box)
        run = box.run()
        self.assertEqual(0, run.status)
        self.assertEqual(HEADINGS, step_lines(run.text))


if __name__ == "__main__":
    unittest.main()
