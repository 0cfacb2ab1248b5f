#!/usr/bin/env bash
# Builds every preset and runs every suite: native, sanitizers, valgrind,
# Windows under Wine (each host-driven suite on the GNU and the Microsoft-ABI
# build), two builds of the module archives compared byte for byte, the audit
# of the shipped images, a short benchmark run and short fuzz runs. Ends with
# one line "N passed, N failed" that adds up all suites; exits non-zero on any
# failure. Where Wine cannot run (a kernel without 32-bit programs), the
# Windows builds are still built, and the suites that would run under Wine are
# counted as skipped, with the reason, in ", N skipped" after that line.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mkdir -p build/logs

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

# Runs ctest for a preset and adds its counts; a build failure counts as one failure.
ctest_suite() {
  local preset=$1 log="build/logs/ctest-$1.log"
  if ! tools/build_preset.sh "$preset"; then
    record "$preset" 0 1
    return
  fi
  if [ "$preset" = windows ] && [ "$wine_runs" -eq 0 ]; then
    record windows-build 1 0
    skip windows "$(ctest --preset windows -N | sed -nE 's/^Total Tests: ([0-9]+)/\1/p')" "$no_wine"
    return
  fi
  local verbose=()
  [ "$preset" = windows ] && verbose=(--verbose)
  ctest --preset "$preset" "${verbose[@]}" >"$log" 2>&1
  local line total bad
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    tail -n 40 "$log"
    record "$preset" 0 1
    return
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  if [ "$bad" -ne 0 ]; then
    sed -n '/The following tests FAILED/,$p' "$log"
  fi
  if [ "$preset" = windows ]; then
    # Under Wine each test program is one ctest test; count its cases instead.
    local cases_ok cases_bad
    cases_ok=$(sed -nE 's/.*\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$log" | awk '{s += $1} END {print s + 0}')
    cases_bad=$(sed -nE 's/.*\[  FAILED  \] ([0-9]+) tests?, listed below.*/\1/p' "$log" |
      awk '{s += $1} END {print s + 0}')
    [ "$cases_bad" -ge "$bad" ] || cases_bad=$bad
    record "$preset" "$cases_ok" "$cases_bad"
    return
  fi
  record "$preset" $((total - bad)) "$bad"
}

valgrind_suite() {
  local log=build/logs/valgrind.log
  if valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    build/native/tests/tamsel_unit_tests --gtest_brief=1 >"$log" 2>&1; then
    record valgrind "$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$log")" 0
  else
    tail -n 40 "$log"
    record valgrind 0 1
  fi
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

# The awk programs that make the benchmark tables, on records of known figures.
tables_suite() {
  local out
  out=$(tools/bench_tables_test.sh)
  grep -v ': passed' <<<"$out"
  record tables "$(grep -c ': passed' <<<"$out")" "$(grep -c ': FAILED' <<<"$out")"
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

format_suite
if [ "$wine_runs" -eq 1 ]; then
  tools/wine_session.sh start
  trap 'tools/wine_session.sh stop >/dev/null 2>&1' EXIT
fi

ctest_suite native
valgrind_suite
ctest_suite sanitize
# The Microsoft-ABI DLLs first: the Windows suites run on both builds.
if tools/build_preset.sh windows-msvc; then record msvc-build 1 0; else record msvc-build 0 1; fi
ctest_suite windows
repro_suite
audit_suite
signing_suite
tables_suite
bench_suite
fuzz_suite

printf '%s\n' "${summary[@]}"
if [ "$skipped" -eq 0 ]; then
  echo "$passed passed, $failed failed"
else
  echo "$passed passed, $failed failed, $skipped skipped"
fi
[ "$failed" -eq 0 ]
