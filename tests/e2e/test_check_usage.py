"""The check's command line end to end: a bad option's usage goes to
standard error, with nothing on standard output, so that a fleet script
reading the JSON document from standard output never takes the usage for
one; asked for, the usage goes to standard output."""

import unittest

from harness import sandbox_with_devcon, WineTestCase


class CheckUsage(WineTestCase):
    def test_usage_goes_where_it_was_asked_for(self):
        box = sandbox_with_devcon("check_usage")

        bad = box.check("--jsno")
        self.assertEqual(3, bad.status)
        self.assertEqual(b"", bad.raw)
        self.assertIn(b"kovex-deepclean-check: unknown option '--jsno'", bad.errors)
        self.assertIn(b"Usage: kovex-deepclean-check [--json]", bad.errors)

        asked = box.check("--help")
        self.assertEqual(0, asked.status)
        self.assertTrue(asked.raw.startswith(b"Usage: kovex-deepclean-check [--json]"),
                        asked.raw)
        self.assertNotIn(b"Usage:", asked.errors)

        self.assertEqual([], box.invocations(), "devcon was run")


if __name__ == "__main__":
    unittest.main()
