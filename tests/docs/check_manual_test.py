#!/usr/bin/env python3
"""The manual check sees every error number a program can stop with, however
it is thrown: each row is a tiny source tree whose one thrown number the
manual does not explain, and the check must name it."""
import pathlib
import subprocess
import sys
import tempfile

check = pathlib.Path(__file__).with_name("check_manual.py")
manual = ".NH 1\nLicence problems\n.PP\nError 1 is explained.\n"
rows = {
    "literal": "throw ozr::UserErrorException(\n    7, \"x\");",
    "constant": "constexpr int kNoLicence = 7;\nvoid f() { throw ozr::UserErrorException(kNoLicence, \"x\"); }",
    "helper": "[[noreturn]] void lf_fail(int code, const std::string& t) { throw ozr::UserErrorException(code, t); }\n"
              "void g() { lf_fail(7, \"x\"); }",
    "lambda": "const auto bad = [problems](int code, std::string m) {\n"
              "    if (!problems) throw ozr::UserErrorException(code, m);\n};\nbad(7, \"x\");",
    "guarded variable": "if (status == 1 || status == 7) {\n    throw ozr::UserErrorException(status, text);\n}",
    "unknown variable": "throw ozr::UserErrorException(whatever, text);",
}
failures = []
for what, source in rows.items():
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder)
        (root / "docs" / "manual").mkdir(parents=True)
        (root / "docs" / "manual" / "Manual.ms").write_text(manual, encoding="utf-8")
        (root / "src").mkdir()
        (root / "src" / "one.cpp").write_text(source + "\nvoid h() { throw ozr::UserErrorException(1, \"y\"); }\n",
                                              encoding="utf-8")
        run = subprocess.run([sys.executable, str(check), str(root)], capture_output=True, text=True)
        expected = "is not found" if what == "unknown variable" else "error 7 is not explained in the manual"
        if run.returncode == 0 or expected not in run.stdout:
            failures.append(f"{what}: {run.stdout.strip()}")
        # Explained, the same tree passes.
        if what != "unknown variable":
            (root / "docs" / "manual" / "Manual.ms").write_text(manual + "Error 7 too.\n", encoding="utf-8")
            run = subprocess.run([sys.executable, str(check), str(root)], capture_output=True, text=True)
            if run.returncode != 0:
                failures.append(f"{what}, explained: {run.stdout.strip()}")
for f in failures:
    print(f)
print(f"manual check: {len(rows)} ways to throw, {len(failures)} missed")
sys.exit(1 if failures else 0)
