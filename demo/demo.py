"""The demo: the real kovex-deepclean.exe cleaning a simulated machine in a
Wine sandbox, with kovex-deepclean-check.exe before and after. Shows the
machine before, the check's verdict, the cleanup's output, the check's
verdict afterwards, and the machine before and after side by side, with
what the check calls traces and what it finds plugged in ("Attached now"):
the headset and the control pad come back at the cleanup's rescan, as
Windows re-creates plugged-in devices, and are no traces; the device
without a description and the dongle whose removal waits for a reboot
are.

`demo.py page` then makes the fleet page from the check's two documents
among a few other simulated machines' (demo/fleet_page.py), with the
Windows kovex-deepclean-fleet.exe under Wine, and prints its summary line
and where it is."""

import json
import os
import sys
from datetime import datetime, timezone
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

from harness import run_wine, sandbox_with_devcon, wine_env  # noqa: E402
import fleet_page  # noqa: E402

# The check's documents of the demo machine, before and after, for the page.
DOCUMENTS = Path(os.environ.get("KOVEX_WORK", ROOT / "build" / "demo" / "work")) / "documents"

MAKER_KEY = "HKLM\\Software\\Kovex"
REGISTRY = [  # key below MAKER_KEY, view
    ("AudioDriverInstaller\\Components", "32"),
    ("KxDrvSetup", "32"),
    ("Settings", "32"),
    ("KxDrvSetup", "64"),
]
DRIVER_FILES = ["KxDev_audio.sys", "KxDev_hid.sys", "KxCommon.sys",
                "KxCommonHelper.sys", "other_vendor.sys"]


def seed(box):
    box.reg_delete([(MAKER_KEY, "32"), (MAKER_KEY, "64")])
    box.reg_add([(MAKER_KEY + "\\" + key, view) for key, view in REGISTRY])
    for name in DRIVER_FILES:
        (box.drivers / name).write_bytes(b"MZ demo driver\n")


def view(box):
    """The machine as a list of (section, items)."""
    devices, packages = [], []
    for line in box.state.read_text(encoding="utf-8").splitlines():
        item = line.strip()
        if line.startswith("device "):
            devices.append(line[len("device "):])
        elif line.startswith("package "):
            packages.append(line[len("package "):])
        elif item.startswith("description ") and devices:
            devices[-1] += "  (" + item[len("description "):] + ")"
        elif item.startswith("provider ") and packages:
            packages[-1] += "  " + item[len("provider "):]
    sections = [
        ("Devices", devices),
        ("Driver store", packages),
        ("Driver files in C:\\windows\\system32\\drivers",
         [name for name in DRIVER_FILES if (box.drivers / name).exists()]),
    ]
    root = "HKEY_LOCAL_MACHINE\\Software\\Kovex\\"
    for view_name in ("32", "64"):
        keys = [key[len(root):] for key in box.reg_keys(MAKER_KEY, view_name)
                if key.lower().startswith(root.lower())]
        sections.append(("Registry HKLM\\Software\\Kovex (%s-bit view)" % view_name, keys))
    return sections


def check_view(box, when):
    """What the check finds, from its JSON document: its traces and the
    devices it finds plugged in. The document is kept for the page, as
    `when`.json."""
    raw = box.check("--json").raw
    DOCUMENTS.mkdir(parents=True, exist_ok=True)
    (DOCUMENTS / (when + ".json")).write_bytes(raw)
    document = json.loads(raw.decode("utf-8"))
    traces = ["%s %s  %s" % (trace["kind"], trace["id"], trace["description"])
              for trace in document["traces"]]
    attached = ["%s  %s [%s]" % (entry["id"], entry["description"],
                                 entry["status"])
                for entry in document["attached"]]
    return [("The check: traces of Kovex's drivers", traces),
            ("The check: attached now (plugged in, not traces)", attached)]


def show(sections):
    for title, items in sections:
        print(title)
        for item in items:
            print("  " + item)


def side_by_side(before, after, width=78):
    row = "%%-%ds | %%s" % width
    print(row % ("BEFORE", "AFTER"))
    print("-" * width + "-+-" + "-" * width)
    for (title, items), (_, items_after) in zip(before, after):
        print(row % (title, title))
        for item in items:
            text = ("  " + item)[:width]
            print(row % (text, text if item in items_after else "    (removed)"))
        for item in items_after:
            if item not in items:
                print(row % ("", ("  " + item)[:width]))


def show_run(title, run):
    print("=== %s\n" % title)
    sys.stdout.write(run.raw.decode("latin-1").replace("\r\n", "\n"))
    print("\n(exit status %d, %.2f s)\n" % (run.status, run.seconds))


def main():
    sys.stdout.reconfigure(encoding="utf-8")
    box = sandbox_with_devcon("demo")
    box.state.write_text((ROOT / "demo" / "machine.txt").read_text(encoding="utf-8"),
                         encoding="utf-8")
    seed(box)
    before = view(box) + check_view(box, "before")
    print("=== The simulated machine before the clean-up\n")
    show(before)
    print()
    show_run("kovex-deepclean-check.exe before (run under Wine in %s)" % box.cwd,
             box.check())
    listed = len(box.invocations())
    show_run("kovex-deepclean.exe", box.run())
    print("=== What the cleanup ran (the simulated devcon's log)\n")
    for argv in box.invocations()[listed:]:
        print("  devcon " + " ".join(argv))
    print()
    show_run("kovex-deepclean-check.exe after", box.check())
    print("\n=== Before and after\n")
    side_by_side(before, view(box) + check_view(box, "after"))
    return 0


def page():
    """The fleet page of the demo machine among the others, made by the
    Windows program under Wine in the inputs' folder, so that the page
    names them by their short relative paths."""
    folder = ROOT / "build" / "demo" / "fleet"
    arguments = fleet_page.lay_inputs(
        folder, datetime.now(timezone.utc),
        *[(DOCUMENTS / (when + ".json")).read_text(encoding="utf-8")
          for when in ("before", "after")])
    done = run_wine([os.environ["KOVEX_FLEET_EXE"], *arguments], folder, wine_env(),
                    own_program=True)
    print("=== The fleet page: the demo machine among a few others\n")
    sys.stdout.write(done.stdout.decode("utf-8", "replace"))
    sys.stderr.write(done.stderr.decode("utf-8", "replace"))
    print("Open it in a browser: %s" % (folder / fleet_page.OUT))
    return done.returncode


if __name__ == "__main__":
    sys.exit(page() if sys.argv[1:] == ["page"] else main())
