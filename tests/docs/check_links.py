#!/usr/bin/env python3
"""Checks the links between the project's Markdown pages.

Every relative link in README.md, fleet/README.md and docs/*.md (images
included) must name a file or folder of the tree, and every #anchor one of
the target page's headings, with the anchors GitHub gives headings. Links
with a scheme (https:, mailto:) are not followed: the tests use no network.
Prints each broken link with its file and line; exits 1 when there is one.
"""
import pathlib
import re
import sys
import unicodedata

PAGES = ("README.md", "fleet/README.md", "docs/*.md")

FENCE = re.compile(r"^\s*(```|~~~)")
HEADING = re.compile(r"^ {0,3}(#{1,6})\s+(.*?)\s*#*\s*$")
# An inline link or image: [text](target) or [text](target "title"); the
# text may hold one level of brackets.
LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^)\s>]*)>?(?:\s+\"[^\"]*\")?\s*\)")
CODE_SPAN = re.compile(r"(`+)(.+?)\1")


def slug(heading):
    """The anchor GitHub gives a heading: its text without markup, in lower
    case, with every character that is no letter, digit, blank, hyphen or
    underscore taken out and each blank made a hyphen."""
    text = CODE_SPAN.sub(lambda m: m.group(2), heading)
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", text)  # a link's text
    text = re.sub(r"[*_]{1,3}(\S.*?\S|\S)[*_]{1,3}", r"\1", text)  # emphasis
    text = re.sub(r"<[^>]+>", "", text)  # inline HTML tags
    out = []
    for ch in text.lower():
        if ch in " -_" or unicodedata.category(ch)[0] in "LNM":
            out.append("-" if ch == " " else ch)
    return "".join(out)


def lines_outside_code(text):
    """(line number, line) for each line outside fenced code blocks, with
    its code spans blanked out."""
    fenced = False
    for number, line in enumerate(text.split("\n"), 1):
        if FENCE.match(line):
            fenced = not fenced
            continue
        if not fenced:
            yield number, CODE_SPAN.sub(lambda m: " " * len(m.group(0)), line)


def anchors(text):
    """The anchors of a page's headings; a repeated one gets -1, -2, ..."""
    seen = {}
    result = set()
    for _, line in lines_outside_code(text):
        match = HEADING.match(line)
        if not match:
            continue
        base = slug(match.group(2))
        count = seen.get(base, 0)
        seen[base] = count + 1
        result.add(base if count == 0 else f"{base}-{count}")
    return result


def broken_links(page, root):
    """'file:line: why' for each broken link of one page."""
    problems = []
    text = page.read_text(encoding="utf-8")
    for number, line in lines_outside_code(text):
        for match in LINK.finditer(line):
            target = match.group(1)
            if not target or re.match(r"^[a-zA-Z][a-zA-Z0-9+.-]*:", target):
                continue
            path, _, anchor = target.partition("#")
            where = f"{page.relative_to(root)}:{number}"
            linked = (page.parent / path).resolve() if path else page.resolve()
            if not linked.exists():
                problems.append(f"{where}: {target}: no such file")
            elif root.resolve() not in (linked, *linked.parents):
                problems.append(f"{where}: {target}: outside the tree")
            elif anchor:
                if linked.suffix != ".md":
                    problems.append(f"{where}: {target}: an anchor into a page that is no Markdown")
                elif anchor not in anchors(linked.read_text(encoding="utf-8")):
                    problems.append(f"{where}: {target}: no heading with that anchor")
    return problems


def main(argv):
    root = pathlib.Path(argv[1] if len(argv) > 1 else pathlib.Path(__file__).parents[2])
    pages = sorted({p for pattern in PAGES for p in root.glob(pattern)})
    problems = [p for page in pages for p in broken_links(page, root)]
    for problem in problems:
        print(problem)
    print(f"{len(pages)} pages, {len(problems)} broken links")
    return 1 if problems or not pages else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
