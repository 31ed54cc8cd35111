"""The demo page's inputs: the tree's documents moved to the page's time,
their ages kept (the browser tests check the page made from them)."""
import pathlib
import sys
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


if __name__ == "__main__":
    unittest.main()
