#!/usr/bin/env bash
# Configures, builds and tests the project in this folder as a module
# developer's CI does, and expects quarlo_check's verdicts: the conforming
# module passes, the one with a second export fails, and passes where a file
# of known deviations names the second export; each leaves a JUnit report
# that a JUnit reader takes, with the skipped cases' reasons.
#   run.sh SOURCE_ROOT HOST_BIN WORK_FOLDER
set -euo pipefail
source=$1
bin=$2
work=$3
rm -rf "$work"
cmake -S "$source/tests/check_in_ci" -B "$work" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$source/cmake/toolchains/i686-w64-mingw32.cmake" \
  -DQUARLO_HOST_DIR="$bin" -DQUARLO_LAUNCHER="$source/tools/wine_exec.sh" \
  -DTAMSEL_SOURCE="$source" >"$work.log" 2>&1 || { cat "$work.log"; exit 1; }
cmake --build "$work" >>"$work.log" 2>&1 || { cat "$work.log"; exit 1; }
# The module's dependencies come from beside the host, as they would for a
# module in its own folder.
ctest --test-dir "$work" --output-on-failure -R 'quarlo_check_(checked_conforming|known_second_export)'
if ctest --test-dir "$work" -R quarlo_check_checked_second_export >/dev/null 2>&1; then
  echo "quarlo_check passed a module with a second export" >&2
  exit 1
fi
for report in "$work"/quarlo_check_{checked_conforming,checked_second_export,known_second_export}.xml; do
  python3 "$source/tests/wine/check_junit.py" "$report" || { echo "$report: not a JUnit report" >&2; exit 1; }
done
expect_reason() {  # report, reason
  grep -q "<skipped message=\"left out by .*: $2\"" "$1" || { echo "$1: no case skipped with \"$2\"" >&2; exit 1; }
}
expect_reason "$work/quarlo_check_checked_conforming.xml" "the random sequences run in the checker's own tests"
expect_reason "$work/quarlo_check_known_second_export.xml" "checker_second_export is for our own tools"
echo "quarlo_check: the conforming module passed, the faulty one failed, and passed with its deviation known"
