"""The link check's own tests: GitHub's anchors, and the links it must
reject in a small tree of pages."""
import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import check_links  # noqa: E402


class Anchors(unittest.TestCase):
    def test_headings_become_githubs_anchors(self):
        for heading, anchor in [
            ("Is the machine clean? kovex-deepclean-check", "is-the-machine-clean-kovex-deepclean-check"),
            ("The mutation run: do the tests catch faults?", "the-mutation-run-do-the-tests-catch-faults"),
            ("`--csv` and **CSV**", "--csv-and-csv"),
            ("Run it, then: check_it", "run-it-then-check_it"),
            ("Über Geräte", "über-geräte"),
            ("A [link](x.md) heading", "a-link-heading"),
        ]:
            self.assertEqual(check_links.slug(heading), anchor, heading)

    def test_a_repeated_heading_gets_a_number_and_code_is_no_heading(self):
        text = "# Notes\n## Notes\n```\n# Notes\n```\n## Notes\n"
        self.assertEqual(check_links.anchors(text), {"notes", "notes-1", "notes-2"})


class BrokenLinks(unittest.TestCase):
    def test_each_kind_of_broken_link_is_named_with_its_line(self):
        with tempfile.TemporaryDirectory() as directory:
            root = pathlib.Path(directory)
            (root / "docs").mkdir()
            (root / "docs" / "page.md").write_text("# The page\n## Its part\n")
            (root / "README.md").write_text(
                "[fine](docs/page.md#its-part) [self](#top) [web](https://example.org/x#y)\n"
                "# Top\n"
                "[gone](docs/gone.md) `[in code](nowhere.md)`\n"
                "[bad anchor](docs/page.md#no-part) ![image](docs/missing.png)\n"
                "```\n[fenced](nowhere.md)\n```\n"
                "[out](../../etc/passwd) [self anchor](#nothing)\n")
            problems = check_links.broken_links(root / "README.md", root)
            self.assertEqual([p.split(": ")[0] + ": " + p.split(": ")[1] for p in problems], [
                "README.md:3: docs/gone.md",
                "README.md:4: docs/page.md#no-part",
                "README.md:4: docs/missing.png",
                "README.md:8: ../../etc/passwd",
                "README.md:8: #nothing",
            ])
            self.assertEqual(check_links.main(["", directory]), 1)


class ThisTree(unittest.TestCase):
    def test_the_projects_pages_link_only_to_what_is_there(self):
        root = pathlib.Path(__file__).resolve().parents[2]
        pages = sorted({p for pattern in check_links.PAGES for p in root.glob(pattern)})
        self.assertIn(root / "docs" / "windows.md", pages)
        problems = [p for page in pages for p in check_links.broken_links(page, root)]
        self.assertEqual(problems, [])


if __name__ == "__main__":
    unittest.main()
