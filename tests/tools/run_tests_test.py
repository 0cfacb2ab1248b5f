#!/usr/bin/env python3
"""tools/run_tests.sh's rule for what may go unrun, on a stand-in project:
the runner itself with tools/test_results.py, and stand-ins for the build, the
Wine session and ctest that run the tests of a table and report them.

  run_tests_test.py REPORT     writes this test's own JUnit report to REPORT
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
tools = os.path.join(here, "..", "..", "tools")
sys.path.insert(0, os.path.join(here, "..", "support"))
from junit_report import junit_report  # noqa: E402

# A ctest that lists and "runs" the tests of $STUB_TESTS, {preset: [[name,
# labels, status]]}, with the options the runner gives it.
CTEST = r'''#!/usr/bin/env python3
import json, os, re, sys
args = sys.argv[1:]
def opt(flag):
    return args[args.index(flag) + 1] if flag in args else None
table = json.loads(os.environ["STUB_TESTS"])
tests = table.get(opt("--preset"), [])
if opt("-L"):
    tests = [t for t in tests if any(re.search(opt("-L"), l) for l in t[1])]
if opt("-R"):
    tests = [t for t in tests if re.search(opt("-R"), t[0])]
if opt("-E"):
    tests = [t for t in tests if not re.search(opt("-E"), t[0])]
if "--show-only=json-v1" in args:
    print(json.dumps({"tests": []}))
elif "-N" in args:
    for n, t in enumerate(tests, 1):
        print(f"  Test #{n}: {t[0]}")
    print(f"Total Tests: {len(tests)}")
elif opt("--output-junit"):
    with open(opt("--output-junit"), "w") as f:
        f.write("<testsuite>" + "".join(
            f'<testcase name="{n}" status="{s}" time="1"/>' for n, _, s in tests) + "</testsuite>")
    sys.exit(any(s != "run" for _, _, s in tests))
'''

SESSION = '''#!/usr/bin/env bash
case $1 in how) echo "$STUB_HOW" ;; esac
'''


def suites(**changes):
    """One passing test a suite, the wine suite with a slow one; changes
    replace a preset's tests."""
    table = {p: [[f"{p}_test", [p], "run"]] for p in
             ("native", "valgrind", "tools", "sanitize", "repro", "audit", "signing", "bench", "fuzz")}
    table["windows"] = [["host_tests", ["wine"], "run"], ["checker_faults", ["wine", "slow"], "run"]]
    table["windows-quick"] = [table["windows"][0]]
    table.update(changes)
    return table


# name, the tests, how Wine runs, SKIP, expected (exit status, closing line,
# a line that must stand above it)
CASES = [
    ("every suite ran", suites(), "native", "", (0, "12 passed, 0 failed, 0 skipped",
                                                  "Wine ran natively.")),
    ("a test that did not run fails the gate", suites(fuzz=[["fuzz_test", ["fuzz"], "notrun"]]),
     "native", "", (1, "11 passed, 1 failed, 0 skipped", "FAILED: fuzz_test (notrun)")),
    ("a suite left out by name", suites(), "native", "bench",
     (0, "11 passed, 0 failed, 1 skipped", "Not proven here: suite bench: left out by SKIP.")),
    ("a test left out by name", suites(), "native", "checker_faults",
     (0, "11 passed, 0 failed, 1 skipped", "Not proven here: checker_faults: left out by SKIP.")),
    ("a name that names nothing fails", suites(), "native", "benhc",
     (1, "12 passed, 1 failed, 0 skipped", "SKIP names benhc, which is no suite label")),
    ("under full emulation the slow suites are left out", suites(), "vm-tcg", "",
     (0, "11 passed, 0 failed, 1 skipped",
      "Not proven here: checker_faults (label slow): Wine ran under full emulation")),
    ("with KVM every suite runs", suites(), "vm-kvm", "",
     (0, "12 passed, 0 failed, 0 skipped", "Wine ran in a virtual machine with KVM")),
]


def project(work):
    """A stand-in project: the real runner and counter, stand-in tools."""
    os.makedirs(os.path.join(work, "tools"))
    os.makedirs(os.path.join(work, "bin"))
    subprocess.run(["git", "init", "-q", work], check=True)
    for name in ("run_tests.sh", "test_results.py"):
        shutil.copy(os.path.join(tools, name), os.path.join(work, "tools"))
    stubs = {"tools/build_preset.sh": "#!/bin/sh\nexit 0\n", "tools/wine_session.sh": SESSION,
             "bin/ctest": CTEST, "bin/clang-format": "#!/bin/sh\nexit 0\n"}
    for path, text in stubs.items():
        with open(os.path.join(work, path), "w") as f:
            f.write(text)
        os.chmod(os.path.join(work, path), 0o755)
    for tree in ("native", "sanitize", "windows", "archives", "bench", "fuzz"):
        os.makedirs(os.path.join(work, "build", tree))
        open(os.path.join(work, "build", tree, "test-reports.txt"), "w").close()


def check(work, name, tests, how, skip, want):
    folder = os.path.join(work, name.replace(" ", "_"))
    project(folder)
    env = dict(os.environ, STUB_TESTS=json.dumps(tests), STUB_HOW=how, SKIP=skip,
               PATH=os.path.join(folder, "bin") + os.pathsep + os.environ["PATH"])
    run = subprocess.run([os.path.join(folder, "tools", "run_tests.sh")], env=env, cwd=folder,
                         capture_output=True, text=True, timeout=120)
    lines = run.stdout.splitlines()
    status, closing, above = want
    got = (run.returncode != 0, lines[-1] if lines else "")
    if got != (bool(status), closing) or not any(line.startswith(above) for line in lines[:-1]):
        return f"exit {run.returncode}, printed:\n{run.stdout}{run.stderr}"
    return None


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    report = junit_report("run_tests")
    with tempfile.TemporaryDirectory() as work:
        for case in CASES:
            report.check(case[0], check(work, *case))
    return report.finish(sys.argv[1])


if __name__ == "__main__":
    sys.exit(main())
