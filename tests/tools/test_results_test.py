#!/usr/bin/env python3
"""tools/test_results.py on reports of known outcomes, and the JUnit reports
that tests/support/junit_report.py writes read back by it.

  test_results_test.py REPORT     writes this test's own JUnit report to REPORT
"""
import os
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tools"))
sys.path.insert(0, os.path.join(here, "..", "support"))
import test_results  # noqa: E402
from junit_report import junit_report  # noqa: E402


def ctest(*tests):
    cases = "".join(f'<testcase name="{n}" status="{s}">{"<failure/>" if s == "fail" else ""}'
                    "</testcase>" for n, s in tests)
    return f'<testsuite tests="{len(tests)}">{cases}</testsuite>'


def gtest(*cases):
    inside = {"failed": '<failure message="x"/>', "skipped": '<skipped message="no other build"/>'}
    body = "".join(
        f'<testcase name="{n}" classname="Suite" status="{"notrun" if r == "suppressed" else "run"}" '
        f'result="{r}">{inside.get(r, "")}</testcase>' for n, r in cases)
    return f'<testsuites><testsuite name="Suite">{body}</testsuite></testsuites>'


def completed(*names):
    return [(n, "completed") for n in names]


def junit(*cases):
    """A script's report as tests/support/junit_report.py writes it."""
    report = junit_report("script")
    for outcome, name, message in cases:
        report.add(outcome, name, message)
    with tempfile.NamedTemporaryFile("r", suffix=".xml") as f:
        report.write(f.name)
        return f.read()


# name, ctest report, the tests' own reports by test name (None: a report it
# should have written is missing), expected (passed, failed, skipped)
CASES = [
    ("native cases count one each", ctest(("a", "run"), ("b", "run"), ("c", "fail")), {}, (2, 1, 0)),
    ("a program under Wine counts its cases", ctest(("host", "run")),
     {"host": gtest(*completed("x", "y", "z"))}, (3, 0, 0)),
    ("a failed case is named once", ctest(("host", "fail")),
     {"host": gtest(("x", "completed"), ("y", "failed"))}, (1, 1, 0)),
    ("a crash without a report is one failure", ctest(("host", "fail")), {"host": None}, (0, 1, 0)),
    ("a program that passed without its report fails", ctest(("host", "run")), {"host": None}, (0, 1, 0)),
    ("a program that failed with every case passed adds one", ctest(("host", "fail")),
     {"host": gtest(*completed("x", "y"))}, (2, 1, 0)),
    ("skipped cases are not passes", ctest(("host", "run")),
     {"host": gtest(("x", "skipped"), ("y", "completed"))}, (1, 0, 1)),
    ("a program that ran no case fails", ctest(("host", "run")), {"host": gtest()}, (0, 1, 0)),
    ("a disabled case did not run, and fails", ctest(("host", "run")),
     {"host": gtest(("x", "suppressed"), ("y", "completed"))}, (1, 1, 0)),
    ("a program that skipped every case fails", ctest(("host", "run")),
     {"host": gtest(("x", "skipped"))}, (0, 1, 1)),
    ("a test not run for a failed fixture fails", ctest(("a", "run"), ("b", "notrun")), {}, (1, 1, 0)),
    ("a disabled test did not run, and fails", ctest(("a", "run"), ("b", "disabled")), {}, (1, 1, 0)),
    ("a run of nothing fails", ctest(), {}, (0, 1, 0)),
    ("a script's report counts its cases", ctest(("repro", "run")),
     {"repro": junit(("passed", "a.zip", ""), ("passed", "b.zip", ""))}, (2, 0, 0)),
    ("a script's failed and skipped cases", ctest(("signing", "fail")),
     {"signing": junit(("passed", "a.dll", ""), ("failed", "b.dll", "no signature"),
                       ("skipped", "loading", "no Wine"))}, (1, 1, 1)),
    ("a case skipped without saying why fails", ctest(("signing", "run")),
     {"signing": junit(("passed", "a.dll", ""), ("skipped", "loading", ""))}, (1, 1, 0)),
    ("a script that failed after its cases adds one", ctest(("audit", "fail")),
     {"audit": junit(("passed", "a.dll BA2009", ""))}, (1, 1, 0)),
    ("a script's report without a case fails", ctest(("repro", "run")), {"repro": junit()}, (0, 1, 0)),
    ("an unfinished report is one failure", ctest(("repro", "fail")),
     {"repro": '<testsuite><testcase name="a"'}, None),
]


GTEST_OUTPUT = "[ RUN      ] A.One\n[       OK ] A.One (1 ms)\n[ RUN      ] A.Two\n"
# A test that ran out of time: its output, its time, and what the failure
# says of it with a time limit of 300 s.
TIMEOUTS = [
    ("names the case it was running", GTEST_OUTPUT, 300.02,
     "host (ran out of its 300 s; last case reported: A.Two, without its report)"),
    ("names a script's last line", "built\nchecking a.dll\n\n", 300.0,
     "host (ran out of its 300 s; last case reported: its last line: checking a.dll, "
     "without its report)"),
    ("a failure within the limit is no time-out", GTEST_OUTPUT, 12.0, "host (fail, without its report)"),
]


def check_timeout(work, name, output, seconds, want):
    folder = os.path.join(work, "timeout")
    os.makedirs(os.path.join(folder, "test-results"), exist_ok=True)
    paths = {f: os.path.join(folder, f) for f in ("report.xml", "tests.json", "test-reports.txt")}
    with open(paths["report.xml"], "w") as f:
        f.write(f'<testsuite><testcase name="host" status="fail" time="{seconds}"><failure message=""/>'
                f'<system-out>{output}</system-out></testcase></testsuite>')
    with open(paths["tests.json"], "w") as f:
        f.write('{"tests": [{"name": "host", "properties": [{"name": "TIMEOUT", "value": 300}]}]}')
    with open(paths["test-reports.txt"], "w") as f:
        f.write("host\n")
    _, failed, _ = test_results.count(paths["report.xml"], folder, paths["tests.json"])
    return None if failed == [want] else f"expected {[want]}, got {failed}"


def check(work, n, name, report, own, want):
    """None when test_results reads the reports as expected, else what it read."""
    folder = os.path.join(work, str(n))
    os.makedirs(os.path.join(folder, "test-results"))
    path = os.path.join(folder, "report.xml")
    with open(path, "w") as f:
        f.write(report)
    with open(os.path.join(folder, "test-reports.txt"), "w") as f:
        f.write("".join(test + "\n" for test in own))
    for test, text in own.items():
        if text is not None:
            with open(os.path.join(folder, "test-results", test + ".xml"), "w") as f:
                f.write(text)
    if want is None:
        # As the test runner reads it: the program's first line.
        out = subprocess.run([sys.executable, test_results.__file__, path, folder],
                             capture_output=True, text=True).stdout
        return None if out.splitlines()[0] == "0 1 0" else f"printed {out!r}"
    passed, failed, skipped = test_results.count(path, folder)
    got = (passed, len(failed), len(skipped))
    return None if got == want else f"expected {want}, got {got} {failed} {skipped}"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    report = junit_report("test_results")
    with tempfile.TemporaryDirectory() as work:
        for n, case in enumerate(CASES):
            problem = check(work, n, *case)
            if problem is None:
                report.passed(case[0])
            else:
                report.failed(case[0], problem)
        for case in TIMEOUTS:
            report.check("a test out of time " + case[0], check_timeout(work, *case))
    return report.finish(sys.argv[1])


if __name__ == "__main__":
    sys.exit(main())
