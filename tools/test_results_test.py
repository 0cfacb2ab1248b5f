#!/usr/bin/env python3
"""test_results.py on reports of known outcomes: prints a line per case,
"NAME: passed" or "NAME: FAILED ...", and exits non-zero on any failure."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_results  # noqa: E402


def ctest(*tests):
    cases = "".join(f'<testcase name="{n}" status="{s}">{"<failure/>" if s == "fail" else ""}'
                    "</testcase>" for n, s in tests)
    return f'<testsuite tests="{len(tests)}">{cases}</testsuite>'


def gtest(*cases):
    failure = '<failure message="x"/>'
    body = "".join(
        f'<testcase name="{n}" classname="Suite" status="run" result="{r}">'
        f'{failure if r == "failed" else ""}</testcase>' for n, r in cases)
    return f'<testsuites><testsuite name="Suite">{body}</testsuite></testsuites>'


def completed(*names):
    return [(n, "completed") for n in names]


# name, ctest report, the programs' own reports by test name, expected (passed, failed)
CASES = [
    ("native cases count one each", ctest(("a", "run"), ("b", "run"), ("c", "fail")), {}, (2, 1)),
    ("a program under Wine counts its cases", ctest(("host", "run")),
     {"host": gtest(*completed("x", "y", "z"))}, (3, 0)),
    ("a failed case is named once", ctest(("host", "fail")),
     {"host": gtest(("x", "completed"), ("y", "failed"))}, (1, 1)),
    ("a crash without a report is one failure", ctest(("host", "fail")), {}, (0, 1)),
    ("a program that failed with every case passed adds one", ctest(("host", "fail")),
     {"host": gtest(*completed("x", "y"))}, (2, 1)),
    ("skipped cases are not passes", ctest(("host", "run")),
     {"host": gtest(("x", "skipped"), ("y", "completed"))}, (1, 0)),
    ("a program that ran no case fails", ctest(("host", "run")), {"host": gtest()}, (0, 1)),
    ("a test not run for a failed fixture fails", ctest(("a", "run"), ("b", "notrun")), {}, (1, 1)),
    ("a disabled test counts nothing", ctest(("a", "run"), ("b", "disabled")), {}, (1, 0)),
    ("a run of nothing fails", ctest(), {}, (0, 1)),
    ("a GoogleTest report alone counts its cases", gtest(*completed("x", "y")), None, (2, 0)),
    ("a GoogleTest report with no case fails", gtest(), None, (0, 1)),
]


def main():
    bad = 0
    with tempfile.TemporaryDirectory() as work:
        for n, (name, report, programs, want) in enumerate(CASES):
            folder = os.path.join(work, str(n))
            os.makedirs(folder)
            path = os.path.join(folder, "report.xml")
            with open(path, "w") as f:
                f.write(report)
            for test, text in (programs or {}).items():
                with open(os.path.join(folder, test + ".xml"), "w") as f:
                    f.write(text)
            passed, failed = test_results.count(path, folder if programs is not None else None)
            got = (passed, len(failed))
            if got == want:
                print(f"{name}: passed")
            else:
                bad += 1
                print(f"{name}: FAILED, expected {want}, got {got} {failed}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
