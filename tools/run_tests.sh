#!/usr/bin/env bash
# The test runner. Every suite is a set of ctest tests with the suite's label,
# run through the test preset of that name (CMakePresets.json); this script
# does what ctest cannot: it checks the formatting, builds the presets in
# order, starts the Wine session, and adds up the suites' reports into one
# closing line, "N passed, N failed", exiting non-zero on any failure. Counts
# come from machine-readable reports only (tools/test_results.py): ctest's
# JUnit report, and the GoogleTest or JUnit report that a test writes itself.
#
#   tools/run_tests.sh           the full gate (make test, what CI runs), in
#       this order: format; unit, valgrind, tools (the native tree); sanitize;
#       wine (both Windows builds, every suite under Wine); repro, audit and
#       signing (the archives tree: the release archives built and checked);
#       bench (a short run of every benchmark); fuzz (short runs).
#   tools/run_tests.sh --loop    the maintainer's loop (make check): builds
#       native and the two Windows trees incrementally, runs the unit tests and
#       the suites under Wine but those labelled slow, and leaves the Wine
#       session running for the next time.
#
# Where Wine cannot run (a kernel without 32-bit programs), the Windows builds
# are still built, and the suites that would run under Wine are counted as
# skipped, with the reason, in ", N skipped" after that line (as are the cases
# that a suite's report gives as skipped).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mode=full
case ${1:-} in
'') ;;
--loop) mode=loop ;;
*)
  echo "usage: $0 [--loop]" >&2
  exit 2
  ;;
esac
mkdir -p build/logs
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}

passed=0
failed=0
skipped=0
summary=()

record() {  # suite, passed, failed, [skipped]
  local line
  passed=$((passed + $2))
  failed=$((failed + $3))
  skipped=$((skipped + ${4:-0}))
  line=$(printf '%-10s %4d passed, %d failed' "$1" "$2" "$3")
  [ "${4:-0}" -eq 0 ] || line+=", $4 skipped"
  summary+=("$line")
}

skip() {  # suite, count, reason
  skipped=$((skipped + $2))
  summary+=("$(printf '%-10s %4d skipped: %s' "$1" "$2" "$3")")
}

wine_runs=1
tools/wine_session.sh check 2>build/logs/wine-check.log || wine_runs=0
no_wine="this kernel does not run 32-bit programs, so Wine cannot"

# Builds a preset; a failure counts as one failure of each suite named.
build() {  # preset, suites...
  local preset=$1 suite
  shift
  tools/build_preset.sh "$preset" && return 0
  for suite in "$@"; do record "$suite" 0 1; done
  return 1
}

# Runs the tests of one label through its test preset, and adds up ctest's
# JUnit report with the reports the tests wrote in the tree's test-results/.
suite() {  # label, test preset, tree
  local label=$1 tests=$2 tree=$root/build/$3
  local log=build/logs/ctest-$label.log junit=$root/build/logs/ctest-$label.xml
  local counts ok bad skip
  if [ "$label" = wine ] && [ "$wine_runs" -eq 0 ]; then
    skip "$label" "$(ctest --preset "$tests" -N | sed -nE 's/^Total Tests: ([0-9]+)/\1/p')" "$no_wine"
    return
  fi
  rm -rf "$tree/test-results" "$junit"
  ctest --preset "$tests" --output-junit "$junit" >"$log" 2>&1
  if [ ! -f "$junit" ]; then
    tail -n 40 "$log"
    record "$label" 0 1
    return
  fi
  counts=$(tools/test_results.py "$junit" "$tree")
  read -r ok bad skip <<<"$(head -n 1 <<<"$counts")"
  # What was skipped, with why.
  [ "$skip" -eq 0 ] || grep '^SKIPPED:' <<<"$counts"
  if [ "$bad" -ne 0 ]; then
    grep '^FAILED:' <<<"$counts"
    echo "$label: $bad failed (log: $log)"
  fi
  record "$label" "$ok" "$bad" "$skip"
}

# Every C++ file stays as clang-format leaves it.
format_suite() {
  local log=build/logs/format.log
  if git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror >"$log" 2>&1; then
    record format 1 0
  else
    grep -m 20 'error' "$log"
    record format 0 1
  fi
}

# The windows tree needs the Wine session for its suites; where Wine cannot
# run it is still built.
windows_suites() {  # test preset
  build windows wine || return
  [ "$wine_runs" -eq 1 ] || record windows-build 1 0
  suite wine "$1" windows
}

if [ "$wine_runs" -eq 1 ]; then
  tools/wine_session.sh start
  [ "$mode" = loop ] || trap 'tools/wine_session.sh stop >/dev/null 2>&1' EXIT
fi
if [ "$mode" = loop ]; then
  build native unit && suite unit native native
  windows_suites windows-quick
else
  format_suite
  if build native unit valgrind tools; then
    suite unit native native
    suite valgrind valgrind native
    suite tools tools native
  fi
  build sanitize sanitize && suite sanitize sanitize sanitize
  windows_suites windows
  if build archives repro audit signing; then
    for label in repro audit signing; do suite "$label" "$label" archives; done
  fi
  build bench bench && suite bench bench bench
  build fuzz fuzz && suite fuzz fuzz fuzz
fi

printf '%s\n' "${summary[@]}"
if [ "$skipped" -eq 0 ]; then
  echo "$passed passed, $failed failed"
else
  echo "$passed passed, $failed failed, $skipped skipped"
fi
[ "$failed" -eq 0 ]
