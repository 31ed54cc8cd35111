"""The demo page's inputs: the tree's documents moved to the page's time,
their ages kept, and every machine expected."""
import json
import pathlib
import sys
import tempfile
import unittest
from datetime import datetime, timezone

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "demo"))
import fleet_page  # noqa: E402

NOW = datetime(2027, 3, 1, 9, 30, 0, tzinfo=timezone.utc)


class Inputs(unittest.TestCase):
    def test_times_move_to_the_page_keeping_ages(self):
        for checked, expected in [
            ("2026-12-08T12:00:00Z", "2027-03-01T09:25:00Z"),  # the newest: LEAD old
            ("2026-12-08T09:00:00Z", "2027-03-01T06:25:00Z"),
            ("2026-12-05T12:00:00Z", "2027-02-26T09:25:00Z"),
        ]:
            document = fleet_page.moved({"computer": "X", "checked_at": checked}, NOW)
            self.assertEqual(document, {"computer": "X", "checked_at": expected}, checked)

    def test_the_demo_machine_twice_the_others_moved_and_all_expected(self):
        with tempfile.TemporaryDirectory() as directory:
            folder = pathlib.Path(directory) / "fleet"
            before = json.dumps({"computer": "LAB-7", "checked_at": "2027-03-01T09:29:00Z"})
            after = json.dumps({"computer": "LAB-7", "checked_at": "2027-03-01T09:29:30Z"})
            arguments = fleet_page.lay_inputs(folder, NOW, before, after)
            self.assertEqual(arguments, ["--expect", "expected.txt", "--out", "kovex-fleet.html",
                                         "before", "after", "machines"])
            self.assertEqual((folder / "after" / "LAB-7.json").read_text(), after)
            self.assertEqual((folder / "before" / "LAB-7.json").read_text(), before)
            others = sorted(p.stem for p in (folder / "machines").iterdir())
            self.assertEqual(others, ["PC-BY-HAND", "PC-CLEAN", "PC-NEEDS-REBOOT", "PC-NO-DEVCON"])
            for path in (folder / "machines").iterdir():
                checked = json.loads(path.read_text())["checked_at"]
                self.assertLess(checked, "2027-03-01T09:30:00Z", path.name)
                self.assertGreater(checked, "2027-02-22T09:30:00Z", path.name)  # not stale
            expected = (folder / "expected.txt").read_text().splitlines()
            self.assertEqual(expected[1:], ["LAB-7", *others, "PC-NEVER-REPORTED"])


if __name__ == "__main__":
    unittest.main()
