"""The demo's fleet page: the demo machine's check documents, before and
after the cleanup, among a few other simulated machines', made into one
page by kovex-deepclean-fleet.

The other machines are the check's documents as it wrote them under Wine
on simulated machines seeded otherwise (demo/fleet/*.json, each named as
its file): PC-NEEDS-REBOOT with the maker's dongle present with problem 21
(its removal waits for a reboot); PC-BY-HAND with an unplugged device of
the maker's listed without a description, which the cleanup passes over;
PC-NO-DEVCON with no devcon.exe to be found, so three checks could not
run; PC-CLEAN with the maker's headset plugged in on Windows' own driver.
One more machine, PC-NEVER-REPORTED, is expected but never reported. Their times
are moved so that the newest is a few minutes old whenever the page is
made: their ages on the page stay as in the tree.

    python3 demo/fleet_page.py FOLDER [BEFORE.json AFTER.json]

lays the page's inputs in FOLDER (before/, after/, machines/ and
expected.txt) and prints the arguments to give kovex-deepclean-fleet, run
in FOLDER. Without the demo machine's two documents it takes the tree's
recorded ones (demo/fleet/recorded/): the browser tests make the page so.
"""

import json
import shutil
import sys
from datetime import datetime, timedelta, timezone
from pathlib import Path

HERE = Path(__file__).resolve().parent
TREE = HERE / "fleet"
# The time the tree's documents' checked_at are counted back from.
REFERENCE = datetime(2026, 12, 8, 12, 0, 0, tzinfo=timezone.utc)
# How old the tree's newest document is on the page.
LEAD = timedelta(minutes=5)
NEVER_REPORTED = "PC-NEVER-REPORTED"
OUT = "kovex-fleet.html"


def moved(document, now):
    """The document with its checked_at as old, counted from `now`, as it
    is counted from REFERENCE in the tree (and LEAD more)."""
    checked = datetime.strptime(document["checked_at"], "%Y-%m-%dT%H:%M:%SZ")
    age = REFERENCE - checked.replace(tzinfo=timezone.utc)
    document = dict(document, checked_at=(now - LEAD - age).strftime("%Y-%m-%dT%H:%M:%SZ"))
    return document


def lay_inputs(folder, now, before=None, after=None):
    """Writes the page's inputs into `folder` (emptied first) and returns the
    arguments for kovex-deepclean-fleet, relative to `folder`. `before` and
    `after` are the demo machine's documents as the check wrote them (JSON
    text); each is saved under its own computer name, as the collector
    names a machine's document. Without them, the tree's recorded ones are
    taken, their times moved like the other machines'."""
    folder = Path(folder)
    shutil.rmtree(folder, ignore_errors=True)
    names = []
    for kind, text in (("before", before), ("after", after)):
        if text is None:
            document = moved(json.loads((TREE / "recorded" / (kind + ".json")).read_text()), now)
            text = json.dumps(document, separators=(",", ":"))
        else:
            document = json.loads(text)
        (folder / kind).mkdir(parents=True)
        (folder / kind / (document["computer"] + ".json")).write_text(text, encoding="utf-8")
        names.append(document["computer"])
    (folder / "machines").mkdir()
    for path in sorted(TREE.glob("*.json")):
        document = moved(json.loads(path.read_text(encoding="utf-8")), now)
        (folder / "machines" / path.name).write_text(
            json.dumps(document, separators=(",", ":")), encoding="utf-8")
        names.append(path.stem)
    names.append(NEVER_REPORTED)
    (folder / "expected.txt").write_text(
        "# The machines that should report\n" + "\n".join(dict.fromkeys(names)) + "\n",
        encoding="utf-8")
    return ["--expect", "expected.txt", "--out", OUT, "before", "after", "machines"]


def main(argv):
    if len(argv) not in (2, 4):
        sys.stderr.write(__doc__)
        return 2
    own = [Path(p).read_text(encoding="utf-8") for p in argv[2:]] or [None, None]
    print(" ".join(lay_inputs(argv[1], datetime.now(timezone.utc), *own)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
