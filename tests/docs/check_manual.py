#!/usr/bin/env python3
"""The manual and the program agree: every "Manual N.N" that a message cites
names a section of the manual with that number whose title shares a word with
the message (so a section that moves is caught), every "section N.N" inside
the manual exists, and every error number the program can stop with is
explained in the manual as "Error N".

An error number reaches the user's "Error N" however it is thrown: as a
literal, through a named constant, through a helper or lambda that takes the
number as its parameter, or through a variable that the throw is guarded by
("if (status == 402 || status == 404) ... throw"). A throw whose number none
of these finds is itself a problem, so no number escapes the check."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
manual = (root / "docs" / "manual" / "Manual.ms").read_text(encoding="utf-8")

# Section numbers as groff -ms numbers .NH headings.
titles, counters = {}, []
lines = manual.splitlines()
for i, line in enumerate(lines):
    m = re.match(r"\.NH\s*(\d*)", line)
    if not m:
        continue
    level = int(m.group(1) or 1)
    counters = counters[:level] + [0] * (level - len(counters))
    counters[level - 1] += 1
    titles[".".join(str(n) for n in counters[:level])] = lines[i + 1].lower()
numbers = set(titles)

problems = []
sources = sorted(p for p in (root / "src").rglob("*") if p.suffix in (".cpp", ".h"))
codes = set()
texts = {}


def calls_of(name):
    """The literal first arguments of every call of name in the sources."""
    found = set()
    for text in texts.values():
        found.update(int(c) for c in re.findall(r"\b" + re.escape(name) + r"\(\s*(\d+)\s*,", text))
    return found


def thrown_codes(path, text, m):
    """The error numbers one UserErrorException construction can carry."""
    arg = m.group(1)
    if arg.isdigit():
        return {int(arg)}
    before = text[:m.start()]
    # A named constant.
    constant = re.findall(r"\b(?:constexpr|const)\s+(?:int|std::int32_t)\s+" + arg + r"\s*=\s*(\d+)\s*;", text)
    if constant:
        return {int(c) for c in constant}
    # A helper function or lambda whose parameter carries the number: the
    # nearest enclosing definition that names it as an int parameter.
    helpers = list(re.finditer(r"(\w+)\s*(?:=\s*\[[^\]]*\]\s*)?\(\s*(?:[\w:]+\s+)*?int\s+" + arg + r"\b", before))
    if helpers:
        name = helpers[-1].group(1)
        found = calls_of(name)
        # A helper that only passes the number on: its own callers.
        if found:
            return found
    # A variable the throw is guarded by: the numbers it is compared with
    # in the nearest condition before the throw.
    conditions = list(re.finditer(r"if\s*\(([^{;]*\b" + arg + r"\s*==\s*\d+[^{;]*)\)", before))
    if conditions:
        return {int(c) for c in re.findall(r"\b" + arg + r"\s*==\s*(\d+)", conditions[-1].group(1))}
    return set()

for path in sources:
    text = path.read_text(encoding="utf-8", errors="replace")
    for m in re.finditer(r"Manual (\d+(?:\.\d+)*)", text):
        cited = m.group(1)
        if cited not in numbers:
            problems.append(f"{path.relative_to(root)} cites Manual {cited}: no such section")
            continue
        end = text.find("\n", m.end())
        line = text[text.rfind("\n", 0, m.start()) + 1:end if end >= 0 else len(text)]
        words = {w.lower() for w in re.findall(r"[A-Za-z]{6,}", line)}
        if not any(w in titles[cited] for w in words):
            problems.append(f"{path.relative_to(root)} cites Manual {cited} ({titles[cited]}) for: {line.strip()}")
    texts[path] = text
for path, text in texts.items():
    # The class's own declarations name the parameter's type, not a number.
    for m in re.finditer(r"UserErrorException\(\s*(?!int\b)([A-Za-z_]\w*|\d+)", text):
        found = thrown_codes(path, text, m)
        if not found:
            line = text.count("\n", 0, m.start()) + 1
            problems.append(f"{path.relative_to(root)}:{line}: the error number {m.group(1)} is not found")
        codes.update(found)
for cited in re.findall(r"sections? (\d+(?:\.\d+)*)", manual):
    if cited not in numbers:
        problems.append(f"the manual refers to section {cited}: no such section")
explained = {int(c) for c in re.findall(r"Error (\d+)", manual)}
for code in sorted(codes - explained):
    problems.append(f"error {code} is not explained in the manual")
if not codes:
    problems.append("no error numbers found in the sources")

for p in problems:
    print(p)
print(f"manual: {len(numbers)} sections, {len(codes)} error numbers checked: {sorted(codes)}")
sys.exit(1 if problems else 0)
