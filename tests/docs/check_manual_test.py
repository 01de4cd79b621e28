#!/usr/bin/env python3
"""The manual check sees every error number a program can stop with, however
it is thrown, and asks for an entry of its own in the manual's errors section.

Ways to throw: each row is a tiny source tree whose one thrown number the
manual does not explain, and the check must name it. Where an explanation
counts: each row is a tiny manual that names the thrown number in one place,
and only an entry heading of the errors section passes. Last, the real
manual: with any one entry of its errors section deleted, the check against
the real sources fails and names that entry's numbers."""
import pathlib
import re
import subprocess
import sys
import tempfile

here = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(here))
import check_manual  # noqa: E402

check = here / "check_manual.py"
repo = here.parent.parent
errors_section = ".NH 1\nMessages and error numbers\n.NH 2\nError numbers\n.PP\nA number stops the run.\n"
manual = ".NH 1\nLicence problems\n.PP\nNothing here.\n" + errors_section + ".IP \"Error 1\" 4n\nExplained.\n"
failures = []


def run_check(root):
    return subprocess.run([sys.executable, str(check), str(root)], capture_output=True, text=True)


def tree(folder, source, text):
    root = pathlib.Path(folder)
    (root / "docs" / "manual").mkdir(parents=True, exist_ok=True)
    (root / "docs" / "manual" / "Manual.ms").write_text(text, encoding="utf-8")
    (root / "src").mkdir(exist_ok=True)
    (root / "src" / "one.cpp").write_text(source + "\nvoid h() { throw ozr::UserErrorException(1, \"y\"); }\n",
                                          encoding="utf-8")
    return root


throws = {
    "literal": "throw ozr::UserErrorException(\n    7, \"x\");",
    "constant": "constexpr int kNoLicence = 7;\nvoid f() { throw ozr::UserErrorException(kNoLicence, \"x\"); }",
    "helper": "[[noreturn]] void lf_fail(int code, const std::string& t) { throw ozr::UserErrorException(code, t); }\n"
              "void g() { lf_fail(7, \"x\"); }",
    "lambda": "const auto bad = [problems](int code, std::string m) {\n"
              "    if (!problems) throw ozr::UserErrorException(code, m);\n};\nbad(7, \"x\");",
    "guarded variable": "if (status == 1 || status == 7) {\n    throw ozr::UserErrorException(status, text);\n}",
    "unknown variable": "throw ozr::UserErrorException(whatever, text);",
}
for what, source in throws.items():
    with tempfile.TemporaryDirectory() as folder:
        root = tree(folder, source, manual)
        run = run_check(root)
        expected = "is not found" if what == "unknown variable" else "error 7 has no entry in section 2.1"
        if run.returncode == 0 or expected not in run.stdout:
            failures.append(f"{what}: {run.stdout.strip()}")
        # Explained, the same tree passes.
        if what != "unknown variable":
            tree(folder, source, manual + ".IP \"\\fBError 7\\fP: x\"\nExplained too.\n")
            run = run_check(root)
            if run.returncode != 0:
                failures.append(f"{what}, explained: {run.stdout.strip()}")

# Where "Error 7" stands in the manual, and whether the check takes it as
# the number's entry.
places = [
    ("in another section's text", manual.replace("Nothing here.", "See Error 7 below."), False),
    ("in the errors section's text", manual.replace("A number stops the run.", "Error 7 is one."), False),
    ("in an entry's text", manual + ".IP \"Error 8\"\nLike Error 7.\n", False),
    ("an entry of another section", manual.replace("Nothing here.", ".IP \"Error 7\"\nThere."), False),
    ("an entry of its own", manual + ".IP \"\\fBError 7\\fP: x\"\nHere.\n", True),
    ("one entry for two numbers", manual + ".IP \"\\fBError 6\\fP, \\fBError 7\\fP\"\nBoth.\n", True),
    ("no errors section", ".NH 1\nLicence problems\n.IP \"Error 1\"\n.IP \"Error 7\"\n", False),
]
for what, text, passes in places:
    with tempfile.TemporaryDirectory() as folder:
        root = tree(folder, "void f() { throw ozr::UserErrorException(7, \"x\"); }", text)
        problems, _, _ = check_manual.check(root)
        named = any(p.startswith("error 7 has no entry") or "no section" in p for p in problems)
        if passes != (not problems) or passes == named:
            failures.append(f"Error 7 {what}: {problems}")

# Every message the window can show needs an entry in the messages section,
# in the words the window shows: a search of the manual must find it.
messages = {
    "status line": 'gf_setStatusLine("Site could not be reached", true);',
    "formatted": 'gf_setStatusLine(fmt::format("{} Site could not be reached: {}", a, b), true);',
    "error line": 'gf_setErrorLine(fmt::format("Site could not be reached"));',
    "runtime error": 'throw std::runtime_error(fmt::format("{} Site could not be reached", path));',
    "joined literals": 'gf_setLastingStatusLine("Site could not "\n        "be reached", false, 9);',
}
explained = ".IP \"\\fIfile\\fP \\fBSite could\\fP\n.IP \"not be reached\"\nCheck the cable.\n"
for what, source in messages.items():
    with tempfile.TemporaryDirectory() as folder:
        for text, named in ((manual, True), (manual + explained, False),
                            (manual.replace("Nothing here.", "Site could not be reached"), True)):
            root = tree(folder, source, text)
            problems, _, _ = check_manual.check(root)
            found = any('the message "Site could not be reached" has no entry' in p for p in problems)
            if found != named:
                failures.append(f"message by {what}, {'unexplained' if named else 'explained'}: {problems}")

# The real manual, one entry of its errors section deleted at a time.
real = (repo / "docs" / "manual" / "Manual.ms").read_text(encoding="utf-8")
problems, _, codes = check_manual.check(repo, real)
if problems:
    failures.append(f"the real manual: {problems}")
lines = real.splitlines(keepends=True)
bounds = check_manual.sections(real)
_, start, end = next(b for b in bounds.values() if b[0].strip() == check_manual.ERRORS_SECTION_TITLE)
entries = [i for i in range(start, end) if lines[i].startswith(".IP") and re.search(r"Error \d+", lines[i])]
deleted = 0
for i in entries:
    j = i + 1
    while j < end and not re.match(r"\.(IP|NH|LP|PP)\b", lines[j]):
        j += 1
    text = "".join(lines[:i] + lines[j:])
    named = {int(c) for c in re.findall(r"Error (\d+)", lines[i])} & codes
    still = {int(c) for k in entries if k != i for c in re.findall(r"Error (\d+)", lines[k])}
    missing = named - still
    if not missing:
        continue
    problems, _, _ = check_manual.check(repo, text)
    deleted += 1
    for code in sorted(missing):
        if not any(p.startswith(f"error {code} has no entry") for p in problems):
            failures.append(f"the entry {lines[i].strip()} deleted, error {code} not named: {problems}")
if deleted < 15 or 405 not in codes:
    failures.append(f"only {deleted} entries of the real manual tried; numbers: {sorted(codes)}")

for f in failures:
    print(f)
print(f"manual check: {len(throws)} ways to throw, {len(places)} places, {deleted} real entries deleted, "
      f"{len(failures)} missed")
sys.exit(1 if failures else 0)
