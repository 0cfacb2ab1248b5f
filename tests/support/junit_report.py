#!/usr/bin/env python3
"""Writes the JUnit XML report of a test script: one testsuite, one testcase per
thing checked, each passed, failed (with why) or skipped (with why).
tools/test_results.py counts these reports as it counts GoogleTest's.

From Python: report = junit_report(SUITE); report.passed(NAME) ...; report.write(PATH),
or report.check(NAME, PROBLEM) ...; return report.finish(PATH).
From a shell script (tests/support/junit_report.sh):
  junit_report.py SUITE REPORT < RECORDS
where RECORDS are NUL-separated triples: passed|failed|skipped, NAME, MESSAGE.
Exits 1 when a case failed.
"""
import os
import sys
import xml.etree.ElementTree as ET


class junit_report:
    def __init__(self, suite):
        self.suite = suite
        self.cases = []

    def passed(self, name):
        self.add("passed", name, "")

    def failed(self, name, message):
        self.add("failed", name, message)

    def skipped(self, name, reason):
        self.add("skipped", name, reason)

    def check(self, name, problem):
        """Passed when problem is None, else failed with it."""
        if problem is None:
            self.passed(name)
        else:
            self.failed(name, problem)

    def add(self, outcome, name, message):
        if outcome not in ("passed", "failed", "skipped"):
            raise ValueError(f"{name}: no outcome {outcome!r}")
        self.cases.append((name, outcome, message))

    def failures(self):
        return sum(1 for _, outcome, _ in self.cases if outcome == "failed")

    def write(self, path):
        suite = ET.Element("testsuite", name=self.suite, tests=str(len(self.cases)),
                           failures=str(self.failures()),
                           skipped=str(sum(1 for _, o, _ in self.cases if o == "skipped")))
        for name, outcome, message in self.cases:
            case = ET.SubElement(suite, "testcase", classname=self.suite, name=name)
            if outcome == "failed":
                ET.SubElement(case, "failure", message=message)
            elif outcome == "skipped":
                ET.SubElement(case, "skipped", message=message)
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        ET.ElementTree(suite).write(path, encoding="utf-8", xml_declaration=True)

    def finish(self, path):
        """Writes the report, prints a line a case, and gives the exit status."""
        self.write(path)
        for name, outcome, message in self.cases:
            print(f"{outcome}: {name}{': ' + message if message else ''}")
        return 1 if self.failures() else 0


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    report = junit_report(sys.argv[1])
    fields = sys.stdin.buffer.read().decode("utf-8", "replace").split("\0")
    for at in range(0, len(fields) - 2, 3):
        report.add(*fields[at:at + 3])
    report.write(sys.argv[2])
    return 1 if report.failures() else 0


if __name__ == "__main__":
    sys.exit(main())
