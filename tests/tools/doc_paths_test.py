#!/usr/bin/env python3
"""Every file or folder of the project that the README or a page of docs/
names exists: paths in backticks and code blocks, commands' words too (from
the project's root), and the targets of links (from the page). What builds
make (build/, dist/) and paths on the reader's machine are not the project's.

  doc_paths_test.py ROOT REPORT     writes this test's own JUnit report to REPORT
"""
import glob
import os
import re
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "support"))
from junit_report import junit_report  # noqa: E402

TOP = ("module/", "quarlo_host/", "quarlo_shared/", "quarlo_msvc_bridge/", "bridge_abi/", "msvc_runtime/",
       "sdk/", "tests/", "tools/", "docs/", "cmake/", "bench/", "fuzz/", ".ci/")
ROOT_FILES = ("README.md", "Makefile", "CMakeLists.txt", "CMakePresets.json", ".clang-format")


def named_paths(text):
    """(path, from the page's folder) for each path the text names."""
    blocks = re.findall(r"^```[^\n]*\n(.*?)^```", text, re.M | re.S)
    inline = re.sub(r"^```[^\n]*\n.*?^```", "", text, flags=re.M | re.S)
    for span in blocks + re.findall(r"`([^`]+)`", inline):
        for token in span.split():
            token = token.rstrip(".,:;)")
            if token.startswith(TOP) or token in ROOT_FILES:
                yield token, False
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        target = target.split("#")[0]
        if target and not re.match(r"[a-z]+:", target):
            yield target, True


def missing(root, page):
    with open(page) as f:
        text = f.read()
    gone = []
    for path, relative in named_paths(text):
        base = os.path.dirname(page) if relative else root
        # A placeholder in capitals (NAME, PRESET) or a pattern stands for any.
        pattern = re.sub(r"[A-Z][A-Z_]+[A-Z]", "*", path) if not relative else path
        if not glob.glob(os.path.join(base, pattern)):
            gone.append(path)
    return gone


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    root = os.path.abspath(sys.argv[1])
    report = junit_report("doc_paths")
    pages = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))
    for page in pages:
        name = os.path.relpath(page, root)
        gone = missing(root, page)
        if gone:
            report.failed(name, "names what is not there: " + ", ".join(sorted(set(gone))))
        else:
            report.passed(name)
    return report.finish(sys.argv[2])


if __name__ == "__main__":
    sys.exit(main())
