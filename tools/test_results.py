#!/usr/bin/env python3
"""Counts the cases of a test run from its machine-readable reports.

  test_results.py REPORT [RESULTS]

REPORT is ctest's JUnit report (ctest --output-junit), or the GoogleTest XML
report of one test program run on its own (valgrind's run). RESULTS is a folder of
GoogleTest XML reports, one per ctest test that ran a whole test program
(under Wine), named after the test: RESULTS/NAME.xml. Such a test counts its
program's cases; any other ctest test counts as one case.

Prints "PASSED FAILED" on the first line, then a line "FAILED: NAME" for each
failed test or case. A ctest test that failed while its program's report names
no failed case (it crashed, ran out of time or found a fault after its cases)
adds one failure; so does a program that ran no case, and a run that ran
nothing.
"""
import os
import sys
import xml.etree.ElementTree as ET


def gtest_cases(path):
    """(passed, names of failed cases) from a GoogleTest XML report."""
    passed, failed = 0, []
    for case in ET.parse(path).getroot().iter("testcase"):
        name = f"{case.get('classname')}.{case.get('name')}"
        if case.find("failure") is not None or case.find("error") is not None:
            failed.append(name)
        elif case.get("status") == "run" and case.get("result", "completed") == "completed":
            passed += 1
    return passed, failed


def count(report, results):
    root = ET.parse(report).getroot()
    if root.tag == "testsuites":  # a GoogleTest report of its own
        passed, failed = gtest_cases(report)
        return passed, failed or ([] if passed else ["no test ran"])
    passed, failed = 0, []
    for test in root.iter("testcase"):
        name, status = test.get("name"), test.get("status")
        if status == "disabled":
            continue
        report = os.path.join(results, name + ".xml") if results else None
        if report and os.path.exists(report):
            ok, bad = gtest_cases(report)
            passed += ok
            failed += [f"{name}: {case}" for case in bad]
            if status != "run" and not bad:
                failed.append(f"{name} ({status}, no failed case in its report)")
            elif ok == 0 and not bad:
                failed.append(f"{name} (its report holds no case that ran)")
        elif status == "run":
            passed += 1
        else:
            failed.append(f"{name} ({status})")
    if passed == 0 and not failed:
        failed.append("no test ran")
    return passed, failed


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    try:
        passed, failed = count(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else None)
    except (OSError, ET.ParseError) as e:
        passed, failed = 0, [f"unreadable report: {e}"]
    print(passed, len(failed))
    for name in failed:
        print("FAILED:", name)


if __name__ == "__main__":
    main()
