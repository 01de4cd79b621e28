#!/usr/bin/env python3
"""The manual and the program agree: every "Manual N.N" that a message cites
names a section of the manual with that number whose title shares a word with
the message (so a section that moves is caught), every "section N.N" inside
the manual exists, and every error number the program can stop with is
explained in the manual as "Error N"."""
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
    codes.update(int(c) for c in re.findall(r"UserErrorException\(\s*(\d+)", text))
    codes.update(int(c) for c in re.findall(r"InstallPathError\(\s*(\d+)", text))
    codes.update(int(c) for c in re.findall(r"constexpr int kNoLicence = (\d+);", text))
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
print(f"manual: {len(numbers)} sections, {len(codes)} error numbers checked")
sys.exit(1 if problems else 0)
