#!/usr/bin/env bash
# The test runner. Ends with one line "N passed, N failed" that adds up all
# suites, and exits non-zero on any failure. Counts come from the suites'
# machine-readable reports: ctest's JUnit report, and the GoogleTest XML
# report of each test program that runs whole under Wine.
#
#   tools/run_tests.sh           the full gate (make test, what CI runs):
#       formatting, native, valgrind, sanitizers, both Windows builds with
#       every suite under Wine (each host-driven suite on the GNU and the
#       Microsoft-ABI build), two builds of the module archives compared byte
#       for byte, the audit of the shipped images, signing, a short benchmark
#       run and short fuzz runs.
#   tools/run_tests.sh --loop    the maintainer's loop (make check): builds
#       native and the two Windows trees incrementally, runs the native unit
#       tests and the suites under Wine of both ABIs but those labelled slow,
#       and leaves the Wine session running for the next time.
#
# Where Wine cannot run (a kernel without 32-bit programs), the Windows builds
# are still built, and the suites that would run under Wine are counted as
# skipped, with the reason, in ", N skipped" after that line.
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

record() {  # suite, passed, failed
  passed=$((passed + $2))
  failed=$((failed + $3))
  summary+=("$(printf '%-10s %4d passed, %d failed' "$1" "$2" "$3")")
}

skip() {  # suite, count, reason
  skipped=$((skipped + $2))
  summary+=("$(printf '%-10s %4d skipped: %s' "$1" "$2" "$3")")
}

wine_runs=1
tools/wine_session.sh check 2>build/logs/wine-check.log || wine_runs=0
no_wine="this kernel does not run 32-bit programs, so Wine cannot"

# Adds the counts that tools/test_results.py reads from a report, and prints
# what failed. A failure found beside the report (1 or 0) counts when the
# report names none.
record_report() {  # suite, failure beside, log, report, [folder of GoogleTest reports]
  local counts ok bad
  counts=$(tools/test_results.py "${@:4}")
  read -r ok bad <<<"$(head -n 1 <<<"$counts")"
  [ "$bad" -ne 0 ] || bad=$2
  if [ "$bad" -ne 0 ]; then
    sed -n '2,$p' <<<"$counts"
    echo "$1: $bad failed (log: $3)"
  fi
  record "$1" "$ok" "$bad"
}

# Builds a preset and runs a test preset of it; a build failure counts as one
# failure.
ctest_suite() {  # suite, build preset, test preset
  local suite=$1 preset=$2 tests=$3
  local log=build/logs/ctest-$suite.log junit=$root/build/logs/ctest-$suite.xml
  local results=$root/build/$preset/bin/test-results
  if ! tools/build_preset.sh "$preset"; then
    record "$suite" 0 1
    return
  fi
  if [ "$preset" = windows ] && [ "$wine_runs" -eq 0 ]; then
    record windows-build 1 0
    skip "$suite" "$(ctest --preset "$tests" -N | sed -nE 's/^Total Tests: ([0-9]+)/\1/p')" "$no_wine"
    return
  fi
  rm -rf "$results" "$junit"
  ctest --preset "$tests" --output-junit "$junit" >"$log" 2>&1
  if [ ! -f "$junit" ]; then
    tail -n 40 "$log"
    record "$suite" 0 1
    return
  fi
  record_report "$suite" 0 "$log" "$junit" "$results"
}

valgrind_suite() {
  local log=build/logs/valgrind.log report=build/logs/valgrind.xml status=0
  rm -f "$report"
  valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    build/native/tests/tamsel_unit_tests --gtest_brief=1 --gtest_output="xml:$report" \
    >"$log" 2>&1 || status=1
  if [ ! -f "$report" ]; then
    tail -n 40 "$log"
    record valgrind 0 1
    return
  fi
  # Errors or leaks that valgrind found beside the cases' own results.
  [ "$status" -eq 0 ] || grep -E '== (ERROR SUMMARY|.*(definitely|indirectly) lost)' "$log"
  record_report valgrind "$status" "$log" "$report"
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

# The tools' own tests: the awk programs that make the benchmark tables, and
# the counting of test reports, on inputs of known outcomes.
tools_suite() {
  local out status=0 bad
  out=$(tools/bench_tables_test.sh 2>&1) || status=1
  out+=$'\n'$(tools/test_results_test.py 2>&1) || status=1
  grep -v ': passed' <<<"$out"
  bad=$(grep -c ': FAILED' <<<"$out")
  # A program that ended early without naming a failure: one failure.
  [ "$status" -eq 0 ] || [ "$bad" -gt 0 ] || bad=1
  record tools "$(grep -c ': passed' <<<"$out")" "$bad"
}

# The benchmarks must build, run and find what they should, natively and
# under Wine; their figures are for `make bench`.
bench_suite() {
  if tools/bench.sh --quick >build/logs/bench.log 2>&1; then
    record bench 1 0
  else
    tail -n 20 build/logs/bench.log 2>/dev/null
    record bench 0 1
  fi
}

# Two clean builds of the module archives, in two checkouts, give the same
# bytes, and the Microsoft-ABI images' symbols fit them.
repro_suite() {
  local out status=0 same different
  out=$(tools/reproducible_test.sh) || status=1
  grep -Ev '^(same bytes|symbols fit)' <<<"$out"
  same=$(grep -Ec '^(same bytes|symbols fit)' <<<"$out")
  different=$(grep -Ec '^(DIFFERENT|FAILED)' <<<"$out")
  # A build that failed compared nothing: one failure.
  [ "$status" -eq 0 ] || [ "$different" -gt 0 ] || different=1
  record repro "$same" "$different"
}

# What ships, built as `make dist` builds it, against Windows' binary rules
# (one row per image and rule), and the audit against images with a rule broken.
audit_suite() {
  local log=build/logs/audit.log ok bad
  if ! tools/dist.sh >build/logs/dist.log 2>&1; then
    tail -n 20 build/logs/dist.log
    record audit 0 1
    return
  fi
  local status=0
  tools/binary_audit.py dist >"$log" 2>&1 || status=1
  tools/binary_audit_test.py dist >>"$log" 2>&1 || status=1
  grep -E '\| FAIL \||: FAILED|Error' "$log"
  ok=$(grep -cE '\| pass \||: passed' "$log")
  bad=$(grep -cE '\| FAIL \||: FAILED' "$log")
  # A program that ended early without naming a failure: one failure.
  [ "$status" -eq 0 ] || [ "$bad" -gt 0 ] || bad=1
  record audit "$ok" "$bad"
}

# The archives signed with a throw-away certificate: every image verifies,
# keeps the unsigned build's digest and loads as before. Reuses audit_suite's
# build of what ships.
signing_suite() {
  local out status=0 failures
  out=$(tools/signing_test.sh) || status=1
  grep -v '^passed' <<<"$out"
  failures=$(grep -c '^FAILED' <<<"$out")
  [ "$status" -eq 0 ] || [ "$failures" -gt 0 ] || failures=1
  record signing "$(grep -c '^passed' <<<"$out")" "$failures"
}

fuzz_suite() {
  if ! tools/build_preset.sh fuzz; then
    record fuzz 0 1
    return
  fi
  local out ok bad
  out=$(tools/fuzz.sh "${TAMSEL_FUZZ_SECONDS:-10}")
  echo "$out"
  ok=$(grep -c ': passed' <<<"$out")
  bad=$(grep -c ': FAILED' <<<"$out")
  record fuzz "$ok" "$bad"
}

if [ "$wine_runs" -eq 1 ]; then
  tools/wine_session.sh start
  [ "$mode" = loop ] || trap 'tools/wine_session.sh stop >/dev/null 2>&1' EXIT
fi
if [ "$mode" = loop ]; then
  ctest_suite native native native
  ctest_suite windows windows windows-quick
else
  format_suite
  ctest_suite native native native
  valgrind_suite
  ctest_suite sanitize sanitize sanitize
  ctest_suite windows windows windows
  repro_suite
  audit_suite
  signing_suite
  tools_suite
  bench_suite
  fuzz_suite
fi

printf '%s\n' "${summary[@]}"
if [ "$skipped" -eq 0 ]; then
  echo "$passed passed, $failed failed"
else
  echo "$passed passed, $failed failed, $skipped skipped"
fi
[ "$failed" -eq 0 ]
