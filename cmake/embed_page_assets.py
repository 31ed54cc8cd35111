#!/usr/bin/env python3
"""Writes the C++ header that carries the fleet page's style and script.

Usage: embed_page_assets.py OUT.h page.css page.js

Each file becomes a constant holding its text and one holding the base64
SHA-256 of that text, as a Content Security Policy names it ('sha256-...').
The hash is of the exact bytes the page puts between its <style> or <script>
tags, so the text is embedded as is. A file that could end its element early
("</style", "</script", "<!--") or is not UTF-8 stops the build.
"""
import base64
import hashlib
import sys

PIECE = 4000  # characters per string literal: compilers limit one literal


def literal(name, text):
    delimiter = "kovexpage"
    if ")" + delimiter + '"' in text:
        sys.exit("embed_page_assets: %s holds the raw string's delimiter" % name)
    pieces = [text[i:i + PIECE] for i in range(0, len(text), PIECE)] or [""]
    body = "\n".join('R"%s(%s)%s"' % (delimiter, piece, delimiter) for piece in pieces)
    digest = base64.b64encode(hashlib.sha256(text.encode("utf-8")).digest()).decode("ascii")
    return 'inline constexpr char %s[] =\n%s;\ninline constexpr char %sHash[] = "%s";\n' % (
        name, body, name, digest)


def main():
    out, css, js = sys.argv[1:4]
    parts = []
    for name, path, closing in (("kPageStyle", css, "</style"), ("kPageScript", js, "</script")):
        with open(path, "rb") as f:
            data = f.read()
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError:
            sys.exit("embed_page_assets: %s is not UTF-8" % path)
        lowered = text.lower()
        if closing in lowered or "<!--" in lowered:
            sys.exit("embed_page_assets: %s would end its element early" % path)
        parts.append(literal(name, text.replace("\r\n", "\n")))
    header = ("// Made by cmake/embed_page_assets.py from src/fleet_page/page.css and\n"
              "// page.js: the page's style and script and their CSP hashes.\n"
              "#ifndef KOVEX_FLEET_PAGE_ASSETS_H_\n#define KOVEX_FLEET_PAGE_ASSETS_H_\n\n" +
              "\n".join(parts) + "\n#endif  // KOVEX_FLEET_PAGE_ASSETS_H_\n")
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        f.write(header)


if __name__ == "__main__":
    main()
