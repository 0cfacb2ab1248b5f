#!/usr/bin/env python3
"""Counts the cases of a ctest run from its machine-readable reports.

  test_results.py REPORT TREE [TESTS]

REPORT is ctest's JUnit report (ctest --output-junit) of a run in the build
tree TREE. A ctest test named in TREE/test-reports.txt writes a report of its
own, TREE/test-results/NAME.xml: GoogleTest's XML report of a test program, or
the JUnit report of a test script (tests/support/junit_report.py). Such a test
counts its cases, and a run of it without its report is a failure; any other
ctest test counts as one case. TESTS, ctest's listing of the run's tests
(--show-only=json-v1), gives their time limits.

Prints "PASSED FAILED SKIPPED" on the first line, then "FAILED: NAME" for each
failed test or case and "SKIPPED: NAME: WHY" for each skipped case. A ctest
test that failed while its report names no failed case (it crashed, ran out of
time or found a fault after its cases) adds one failure; so does a report
without a case that ran, and a run that ran nothing. A test or a case that
did not run fails, but for a case that skipped itself and said why. A test
that ran out of time names the case it was last running, from its output.
"""
import json
import os
import re
import sys
import xml.etree.ElementTree as ET


def report_cases(path):
    """(passed, names of failed cases, skipped cases with why) from a report."""
    passed, failed, skipped = 0, [], []
    for case in ET.parse(path).getroot().iter("testcase"):
        name = f"{case.get('classname')}.{case.get('name')}"
        skip = case.find("skipped")
        if case.find("failure") is not None or case.find("error") is not None:
            failed.append(name)
        elif skip is not None or case.get("result") == "skipped":
            why = skip.get("message", "").strip() if skip is not None else ""
            if why:
                skipped.append(f"{name}: {why}")
            else:
                failed.append(f"{name} (skipped without saying why)")
        elif case.get("status", "run") == "run" and case.get("result", "completed") == "completed":
            passed += 1
        else:
            failed.append(f"{name} (not run: {case.get('result') or case.get('status')})")
    return passed, failed, skipped


def time_limits(listing):
    """Each test's time limit in seconds, from ctest's JSON listing."""
    if not listing:
        return {}
    with open(listing) as f:
        tests = json.load(f).get("tests", [])
    return {t["name"]: float(p["value"]) for t in tests for p in t.get("properties", [])
            if p["name"] == "TIMEOUT"}


def last_case(output):
    """The GoogleTest case a test's output started last and did not end, or
    else its last line."""
    started = re.findall(r"^\[ RUN      \] (\S+)", output, re.M)
    ended = set(re.findall(r"^\[ +(?:OK|FAILED|SKIPPED) +\] (\S+)", output, re.M))
    running = [case for case in started if case not in ended]
    if running:
        return running[-1]
    lines = [line for line in output.splitlines() if line.strip()]
    return f"its last line: {lines[-1].strip()}" if lines else "no output"


def timed_out(test, limits):
    limit = limits.get(test.get("name"))
    return limit is not None and float(test.get("time", 0)) >= limit - 1


def outcome(test, limits):
    """How a ctest test that did not pass ended, in words."""
    if test.get("status") == "fail" and timed_out(test, limits):
        out = test.find("system-out")
        case = last_case(out.text or "" if out is not None else "")
        return f"ran out of its {limits[test.get('name')]:.0f} s; last case reported: {case}"
    return test.get("status")


def count(report, tree, listing=None):
    passed, failed, skipped = 0, [], []
    limits = time_limits(listing)
    with open(os.path.join(tree, "test-reports.txt")) as f:
        reporting = set(f.read().split())
    for test in ET.parse(report).getroot().iter("testcase"):
        name, status = test.get("name"), test.get("status")
        own = os.path.join(tree, "test-results", name + ".xml")
        if os.path.exists(own):
            ok, bad, skip = report_cases(own)
            passed += ok
            failed += [f"{name}: {case}" for case in bad]
            skipped += [f"{name}: {case}" for case in skip]
            if status != "run" and not bad:
                failed.append(f"{name} ({outcome(test, limits)}, no failed case in its report)")
            elif ok == 0 and not bad:
                failed.append(f"{name} (its report holds no case that ran)")
        elif name in reporting:
            failed.append(f"{name} ({outcome(test, limits)}, without its report)")
        elif status == "run":
            passed += 1
        else:
            failed.append(f"{name} ({outcome(test, limits)})")
    if passed == 0 and not failed:
        failed.append("no test ran")
    return passed, failed, skipped


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    try:
        passed, failed, skipped = count(*sys.argv[1:])
    except (OSError, ValueError, ET.ParseError) as e:
        passed, failed, skipped = 0, [f"unreadable report: {e}"], []
    print(passed, len(failed), len(skipped))
    for name in failed:
        print("FAILED:", name)
    for name in skipped:
        print("SKIPPED:", name)


if __name__ == "__main__":
    main()
