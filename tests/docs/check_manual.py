#!/usr/bin/env python3
"""The manual and the program agree: every "Manual N.N" that a message cites
names a section of the manual with that number whose title shares a word with
the message (so a section that moves is caught), every "section N.N" inside
the manual exists, and every error number the program can stop with has an
entry of its own in the manual's errors section: an .IP entry of the section
"Error numbers" whose heading names "Error N". A number that the manual only
mentions in passing elsewhere (Error 405 in the licence section) is no
entry: a user who looks it up in the list of errors would not find it.

An error number reaches the user's "Error N" however it is thrown: as a
literal, through a named constant, through a helper or lambda that takes the
number as its parameter, or through a variable that the throw is guarded by
("if (status == 402 || status == 404) ... throw"). A throw whose number none
of these finds is itself a problem, so no number escapes the check.

Every message the window can show has an entry too, written as the window
shows it, so that a search of the manual for the status line's words finds
it: the texts given to the status and error line (gf_setStatusLine,
gf_setErrorLine, gf_setLastingStatusLine, gf_setSettingsNotice) and the
texts of thrown runtime errors, which reach the error line through the run's
outer catch. Of a text with "{}" fields its longest fixed piece is looked for
in the section "Messages and error numbers" (with its subsections). A new
message is added to the manual there, in the words of the source.

Run as a script (check_manual.py [ROOT]) it prints the problems and fails
when there is one; check_manual_test.py imports check() to try the rules on
changed copies of the manual."""
import pathlib
import re
import sys

# The title of the section whose entries explain the error numbers.
ERRORS_SECTION_TITLE = "error numbers"
# The title of the top-level section that holds every message's entry.
MESSAGES_SECTION_TITLE = "messages and error numbers"
# Whatever text reaches these calls the window shows.
SHOWN_CALLS = ("gf_setStatusLine", "gf_setErrorLine", "gf_setLastingStatusLine", "gf_setSettingsNotice",
               "throw std::runtime_error")
# A fixed piece shorter than this names nothing a user could look up.
MIN_PIECE = 6


def sections(manual):
    """Section number -> (title in lower case, first line index, end line
    index), numbered as groff -ms numbers .NH headings."""
    found, counters = {}, []
    lines = manual.splitlines()
    starts = []
    for i, line in enumerate(lines):
        m = re.match(r"\.NH\s*(\d*)", line)
        if not m:
            continue
        level = int(m.group(1) or 1)
        counters = counters[:level] + [0] * (level - len(counters))
        counters[level - 1] += 1
        number = ".".join(str(n) for n in counters[:level])
        starts.append((number, i))
        found[number] = lines[i + 1].lower() if i + 1 < len(lines) else ""
    bounds = {}
    for k, (number, i) in enumerate(starts):
        end = starts[k + 1][1] if k + 1 < len(starts) else len(lines)
        bounds[number] = (found[number], i, end)
    return bounds


def entry_codes(manual, bounds):
    """The error numbers named by the headings of the errors section's .IP
    entries, and that section's number (None when the manual has none)."""
    for number, (title, start, end) in bounds.items():
        if title.strip() == ERRORS_SECTION_TITLE:
            lines = manual.splitlines()[start:end]
            codes = set()
            for line in lines:
                if line.startswith(".IP"):
                    codes.update(int(c) for c in re.findall(r"Error (\d+)", line))
            return codes, number
    return set(), None


def calls_of(texts, name):
    """The literal first arguments of every call of name in the sources."""
    found = set()
    for text in texts.values():
        found.update(int(c) for c in re.findall(r"\b" + re.escape(name) + r"\(\s*(\d+)\s*,", text))
    return found


def thrown_codes(texts, text, m):
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
        found = calls_of(texts, name)
        # A helper that only passes the number on: its own callers.
        if found:
            return found
    # A variable the throw is guarded by: the numbers it is compared with
    # in the nearest condition before the throw.
    conditions = list(re.finditer(r"if\s*\(([^{;]*\b" + arg + r"\s*==\s*\d+[^{;]*)\)", before))
    if conditions:
        return {int(c) for c in re.findall(r"\b" + arg + r"\s*==\s*(\d+)", conditions[-1].group(1))}
    return set()


def shown_messages(text):
    """(line, fixed piece) of every message with a literal text in a source:
    the literal may be given to fmt::format, and adjacent literals join."""
    found = []
    calls = "|".join(re.escape(c) for c in SHOWN_CALLS)
    for m in re.finditer(r"(?:" + calls + r")\(\s*(?:fmt::format\(\s*)?((?:\"(?:[^\"\\]|\\.)*\"\s*)+)", text):
        literal = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', m.group(1)))
        literal = literal.replace("\\n", " ").replace('\\"', '"').replace("\\\\", "\\")
        pieces = [p.strip(" '\"():,;") for p in re.split(r"\{[^}]*\}", literal)]
        piece = max(pieces, key=len)
        if len(piece) >= MIN_PIECE:
            found.append((text.count("\n", 0, m.start()) + 1, " ".join(piece.split())))
    return found


def plain(manual):
    """The manual's text as the PDF shows it, for a search: fonts and
    escapes gone, lines joined, blanks collapsed."""
    text = re.sub(r"\\f(?:\(..|\[[^\]]*\]|.)", "", manual)
    for escape, shown in (("\\(lq", '"'), ("\\(rq", '"'), ("\\(en", "-"), ("\\(em", "-"), ("\\&", ""),
                          ("\\e", "\\"), ("\\-", "-"), ("\\ ", " ")):
        text = text.replace(escape, shown)
    lines = [line for line in text.splitlines() if not line.startswith(".\\\"")]
    text = " ".join(re.sub(r"^\.(?:IP|PP|LP|DS|DE)\b\s*", "", line) for line in lines)
    return " ".join(text.replace('"', " ").split())


def check(root, manual=None):
    """(problems, section count, error numbers) of the sources under root
    against the manual text (by default root's docs/manual/Manual.ms)."""
    root = pathlib.Path(root)
    if manual is None:
        manual = (root / "docs" / "manual" / "Manual.ms").read_text(encoding="utf-8")
    bounds = sections(manual)
    titles = {number: title for number, (title, _, _) in bounds.items()}
    problems = []
    sources = sorted(p for p in (root / "src").rglob("*") if p.suffix in (".cpp", ".h"))
    texts = {}
    for path in sources:
        text = path.read_text(encoding="utf-8", errors="replace")
        for m in re.finditer(r"Manual (\d+(?:\.\d+)*)", text):
            cited = m.group(1)
            if cited not in titles:
                problems.append(f"{path.relative_to(root)} cites Manual {cited}: no such section")
                continue
            end = text.find("\n", m.end())
            line = text[text.rfind("\n", 0, m.start()) + 1:end if end >= 0 else len(text)]
            words = {w.lower() for w in re.findall(r"[A-Za-z]{6,}", line)}
            if not any(w in titles[cited] for w in words):
                problems.append(f"{path.relative_to(root)} cites Manual {cited} ({titles[cited]}) for: {line.strip()}")
        texts[path] = text
    codes = set()
    for path, text in texts.items():
        # The class's own declarations name the parameter's type, not a number.
        for m in re.finditer(r"UserErrorException\(\s*(?!int\b)([A-Za-z_]\w*|\d+)", text):
            found = thrown_codes(texts, text, m)
            if not found:
                line = text.count("\n", 0, m.start()) + 1
                problems.append(f"{path.relative_to(root)}:{line}: the error number {m.group(1)} is not found")
            codes.update(found)
    for cited in re.findall(r"sections? (\d+(?:\.\d+)*)", manual):
        if cited not in titles:
            problems.append(f"the manual refers to section {cited}: no such section")
    entries, errors_section = entry_codes(manual, bounds)
    if errors_section is None:
        problems.append(f"the manual has no section \"{ERRORS_SECTION_TITLE}\"")
    else:
        for code in sorted(codes - entries):
            problems.append(f"error {code} has no entry in section {errors_section} of the manual")
    if not codes:
        problems.append("no error numbers found in the sources")
    messages = next(((number, start, end) for number, (title, start, end) in bounds.items()
                     if title.strip() == MESSAGES_SECTION_TITLE), None)
    if messages is None:
        problems.append(f"the manual has no section \"{MESSAGES_SECTION_TITLE}\"")
    else:
        number, start, end = messages
        # The section with its subsections: up to the next top-level one.
        ends = [e_start for n, (_, e_start, _) in bounds.items() if "." not in n and e_start > start]
        entries = plain("\n".join(manual.splitlines()[start:min(ends, default=len(manual.splitlines()))]))
        for path, text in texts.items():
            for line, piece in shown_messages(text):
                if " ".join(piece.replace('"', " ").split()) not in entries:
                    problems.append(f"{path.relative_to(root)}:{line}: the message \"{piece}\" has no entry in "
                                    f"section {number} of the manual (write it there as the window shows it)")
    return problems, len(titles), codes


def main():
    problems, count, codes = check(sys.argv[1] if len(sys.argv) > 1 else ".")
    for p in problems:
        print(p)
    print(f"manual: {count} sections, {len(codes)} error numbers checked: {sorted(codes)}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
