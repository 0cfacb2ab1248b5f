#!/usr/bin/env python3
"""Counts the cases of a ctest run from its machine-readable reports.

  test_results.py REPORT TREE

REPORT is ctest's JUnit report (ctest --output-junit) of a run in the build
tree TREE. A ctest test named in TREE/test-reports.txt writes a report of its
own, TREE/test-results/NAME.xml: GoogleTest's XML report of a test program, or
the JUnit report of a test script (tests/support/junit_report.py). Such a test
counts its cases, and a run of it without its report is a failure; any other
ctest test counts as one case.

Prints "PASSED FAILED SKIPPED" on the first line, then "FAILED: NAME" for each
failed test or case and "SKIPPED: NAME: WHY" for each skipped case. A ctest
test that failed while its report names no failed case (it crashed, ran out of
time or found a fault after its cases) adds one failure; so does a report
without a case that ran, and a run that ran nothing.
"""
import os
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
            skipped.append(f"{name}: {skip.get('message', '') if skip is not None else ''}")
        elif case.get("status", "run") == "run" and case.get("result", "completed") == "completed":
            passed += 1
    return passed, failed, skipped


def count(report, tree):
    passed, failed, skipped = 0, [], []
    with open(os.path.join(tree, "test-reports.txt")) as f:
        reporting = set(f.read().split())
    for test in ET.parse(report).getroot().iter("testcase"):
        name, status = test.get("name"), test.get("status")
        if status == "disabled":
            continue
        own = os.path.join(tree, "test-results", name + ".xml")
        if os.path.exists(own):
            ok, bad, skip = report_cases(own)
            passed += ok
            failed += [f"{name}: {case}" for case in bad]
            skipped += [f"{name}: {case}" for case in skip]
            if status != "run" and not bad:
                failed.append(f"{name} ({status}, no failed case in its report)")
            elif ok == 0 and not bad:
                failed.append(f"{name} (its report holds no case that ran)")
        elif name in reporting:
            failed.append(f"{name} ({status}, without its report)")
        elif status == "run":
            passed += 1
        else:
            failed.append(f"{name} ({status})")
    if passed == 0 and not failed:
        failed.append("no test ran")
    return passed, failed, skipped


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    try:
        passed, failed, skipped = count(sys.argv[1], sys.argv[2])
    except (OSError, ET.ParseError) as e:
        passed, failed, skipped = 0, [f"unreadable report: {e}"], []
    print(passed, len(failed), len(skipped))
    for name in failed:
        print("FAILED:", name)
    for name in skipped:
        print("SKIPPED:", name)


if __name__ == "__main__":
    main()
