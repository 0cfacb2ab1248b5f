#!/usr/bin/env python3
"""Reads the JUnit XML that `quarlo_host check --junit FILE` wrote, as a CI
system would (xml.etree), and checks that it holds what a JUnit reader needs:
one testsuite whose tests, failures, errors and skipped match its testcases,
each testcase with classname (the area), name (the case id) and time.

usage: check_junit.py REPORT.xml [EXPECTED_CASES]
"""
import sys
import xml.etree.ElementTree as ET


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    root = ET.parse(sys.argv[1]).getroot()
    suites = [root] if root.tag == "testsuite" else root.findall("testsuite")
    problems = []
    if len(suites) != 1:
        problems.append(f"expected one testsuite, found {len(suites)}")
    for suite in suites:
        cases = suite.findall("testcase")
        counted = {
            "tests": len(cases),
            "failures": sum(1 for c in cases if c.find("failure") is not None),
            "errors": sum(1 for c in cases if c.find("error") is not None),
            "skipped": sum(1 for c in cases if c.find("skipped") is not None),
        }
        for key, n in counted.items():
            if int(suite.get(key, "-1")) != n:
                problems.append(f"testsuite {key}={suite.get(key)} but {n} testcase(s) say so")
        float(suite.get("time"))
        for case in cases:
            name, area = case.get("name", ""), case.get("classname", "")
            if not name.startswith(area + "."):
                problems.append(f"testcase {name!r} is not in its area {area!r}")
            float(case.get("time"))
        if len(sys.argv) == 3 and len(cases) != int(sys.argv[2]):
            problems.append(f"expected {sys.argv[2]} testcases, found {len(cases)}")
    for p in problems:
        print("check_junit:", p, file=sys.stderr)
    if not problems:
        print(f"check_junit: {sys.argv[1]} read, {len(cases)} testcases")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
