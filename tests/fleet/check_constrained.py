#!/usr/bin/env python3
"""Whether PowerShell scripts keep to what ConstrainedLanguage mode allows,
the mode PowerShell runs scripts in on machines under AppLocker or App
Control: no New-Object, cast, type literal or static member of a type
outside the allowed list, no Add-Type, and no method call but those of the
allowed types that the scripts use. Also that every script that starts a
program holds the same Invoke-Bounded function, word for word.

    python3 check_constrained.py <script.ps1>...

Prints one line per problem ("<path>:<line>: <what>") and exits 1 when there
is any. It reads the code alone: comments and the literal text of strings
are left out, the code inside "$(...)" is kept.
"""

import re
import sys

# The types of ConstrainedLanguage mode's allowed list that a script may
# name, with the attributes of a param block (lower case; [type[]] is the
# array of an allowed type).
ALLOWED_TYPES = {
    "alias", "allowemptycollection", "allowemptystring", "allownull", "array",
    "bool", "byte", "char", "cmdletbinding", "datetime", "decimal", "double",
    "float", "guid", "hashtable", "int", "int16", "int32", "int64", "long",
    "object[]", "ordered", "outputtype", "parameter", "pscredential",
    "pscustomobject", "psobject", "regex", "sbyte", "securestring", "short",
    "single", "string", "switch", "timespan", "uint16", "uint32", "uint64",
    "uri", "validatecount", "validatelength", "validatenotnull",
    "validatenotnullorempty", "validatepattern", "validaterange",
    "validatescript", "validateset", "version", "void",
}
# Methods of those types that the scripts call (string, hashtable, array,
# datetime); any other method name is taken for one of a type outside the
# list.
ALLOWED_METHODS = {"AddMinutes", "AddSeconds", "ContainsKey", "Remove",
                   "Substring", "ToString", "Trim", "TrimEnd"}


def code_of(text):
    """The text with comments and literal string text blanked (line ends
    kept, so that line numbers hold), and the code of "$(...)" kept."""
    out = []
    i = 0
    n = len(text)
    string = None  # None, "'" or '"'
    depth = []     # open parentheses of "$(" within double-quoted strings
    while i < n:
        c = text[i]
        if string is None:
            if text.startswith("<#", i):
                end = text.find("#>", i + 2)
                end = n if end < 0 else end + 2
                out.append(re.sub(r"[^\n]", " ", text[i:end]))
                i = end
                continue
            if c == "#":
                end = text.find("\n", i)
                end = n if end < 0 else end
                out.append(" " * (end - i))
                i = end
                continue
            if c in "'\"":
                string = c
                out.append(c)
                i += 1
                continue
            if c == "(" and depth:
                depth[-1] += 1
            elif c == ")" and depth:
                depth[-1] -= 1
                if depth[-1] == 0:
                    depth.pop()
                    string = '"'
            out.append(c)
            i += 1
            continue
        if string == "'":
            if text.startswith("''", i):
                out.append("  ")
                i += 2
            elif c == "'":
                string = None
                out.append(c)
                i += 1
            else:
                out.append("\n" if c == "\n" else " ")
                i += 1
            continue
        # Double-quoted.
        if c == "`":
            out.append("  ")
            i += 2
        elif text.startswith("$(", i):
            out.append("$(")
            depth.append(1)
            string = None
            i += 2
        elif c == '"':
            string = None
            out.append(c)
            i += 1
        else:
            out.append("\n" if c == "\n" else " ")
            i += 1
    return "".join(out)


TYPE = re.compile(r"(?<![\w\]\)$])\[\s*([A-Za-z_][\w.]*(?:\[\])?)\s*\]")
STATIC = re.compile(r"\]::(\w+)")
METHOD = re.compile(r"[\w\])]\.(\w+)\(")
NEW_OBJECT = re.compile(r"\bNew-Object\b", re.IGNORECASE)
ADD_TYPE = re.compile(r"\bAdd-Type\b", re.IGNORECASE)
JOB = re.compile(r"\b(Start-Job|Start-ThreadJob)\b|-Parallel\b", re.IGNORECASE)
AS_JOB = re.compile(r"(-AsJob\b|\bAsJob\s*=)", re.IGNORECASE)
# PowerShell 7 alone: null-coalescing, the ternary operator (a "?" after a
# value, then " : "; "| ? {" is Where-Object), pipeline chains.
PWSH7 = (
    (re.compile(r"\?\?"), "'??' (PowerShell 7 only)"),
    (re.compile(r"[\w)\]$'\"]\s+\?\s+(?!\{)[^\n]*?\s:\s"), "'?:' (PowerShell 7 only)"),
    (re.compile(r"&&"), "'&&' (PowerShell 7 only)"),
    (re.compile(r"\|\|"), "'||' (PowerShell 7 only)"),
)


def script_blocks(code):
    """The spans of the script block literals: a "{" after "=", "(", ","
    or -ScriptBlock, as a value, not the body of a statement."""
    spans = []
    stack = []
    for at, c in enumerate(code):
        if c == "{":
            before = code[:at].rstrip()
            literal = before.endswith(("=", "(", ",")) or re.search(
                r"-ScriptBlock$", before, re.IGNORECASE) is not None
            stack.append((at, literal))
        elif c == "}" and stack:
            start, literal = stack.pop()
            if literal:
                spans.append((start, at))
    return spans


def problems(path):
    text = open(path, encoding="ascii").read()
    code = code_of(text)
    found = []

    def line(at):
        return code.count("\n", 0, at) + 1

    for match in TYPE.finditer(code):
        name = match.group(1).lower()
        if name.endswith("[]") and name != "object[]":
            name = name[:-2]
        if name not in ALLOWED_TYPES:
            found.append((line(match.start()), "type [%s] is not allowed" % match.group(1)))
        elif code.startswith("::", match.end()):
            # Static members of allowed types are allowed; none is used.
            pass
    for match in STATIC.finditer(code):
        start = code.rfind("[", 0, match.start())
        name = code[start + 1:match.start()].strip().lower()
        if name not in ALLOWED_TYPES:
            found.append((line(match.start()), "static member %s of a type outside the list"
                          % match.group(1)))
    for match in NEW_OBJECT.finditer(code):
        found.append((line(match.start()), "New-Object"))
    for match in ADD_TYPE.finditer(code):
        found.append((line(match.start()), "Add-Type"))
    for match in JOB.finditer(code):
        found.append((line(match.start()), "starts a job (%s)" % match.group(0)))
    blocks = script_blocks(code)
    for match in AS_JOB.finditer(code):
        if any(start < match.start() < end for start, end in blocks):
            found.append((line(match.start()), "starts a job inside a script block (AsJob)"))
    for pattern, what in PWSH7:
        for match in pattern.finditer(code):
            found.append((line(match.start()), what))
    for match in METHOD.finditer(code):
        if match.group(1) not in ALLOWED_METHODS:
            found.append((line(match.start()), "method %s() of a type outside the list"
                          % match.group(1)))
    return sorted(set(found))


def main(paths):
    failed = False
    for path in paths:
        for number, what in problems(path):
            print("%s:%d: %s" % (path, number, what))
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
