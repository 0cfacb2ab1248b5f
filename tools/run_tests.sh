#!/usr/bin/env bash
# The test runner. Every suite is a set of ctest tests with the suite's label,
# run through the test preset of that name (CMakePresets.json); this script
# does what ctest cannot: it checks the formatting, builds the presets in
# order, starts the Wine session, and adds up the suites' reports into one
# closing line, "N passed, N failed, N skipped", exiting non-zero on any
# failure. Counts come from machine-readable reports only
# (tools/test_results.py): ctest's JUnit report, and the GoogleTest or JUnit
# report that a test writes itself.
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
# Wine runs wherever this machine lets it (tools/wine_session.sh how): here,
# or in a virtual machine, with KVM or under full emulation. Under full
# emulation the Wine suites labelled slow are left to machines that run Wine
# natively or with KVM. SKIP="NAME ..." (suite labels or ctest test names)
# leaves out what it names. Those are the only two ways a suite or a test may
# not run: any other test that did not run fails the gate. The closing lines
# say how Wine ran and what was not proven.
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
labels=(format unit valgrind tools sanitize wine repro audit signing bench fuzz)
skip_list=${SKIP:-}
read -r -a asked_to_skip <<<"${skip_list//,/ }"

passed=0
failed=0
skipped=0
summary=()
not_proven=()

record() {  # suite, passed, failed, [skipped]
  local line
  passed=$((passed + $2))
  failed=$((failed + $3))
  skipped=$((skipped + ${4:-0}))
  line=$(printf '%-10s %4d passed, %d failed' "$1" "$2" "$3")
  [ "${4:-0}" -eq 0 ] || line+=", $4 skipped"
  summary+=("$line")
}

# Tests left out on purpose: counted as skipped, and named as not proven.
left_out() {  # suite, count, what, why
  [ "$2" -gt 0 ] || return 0
  skipped=$((skipped + $2))
  summary+=("$(printf '%-10s %4d skipped: %s' "$1" "$2" "$4")")
  not_proven+=("$3: $4")
}

asked() {  # name: named in SKIP
  local name
  for name in "${asked_to_skip[@]}"; do [ "$name" = "$1" ] && return 0; done
  return 1
}

# SKIP's names that are no suite label, as one ctest regex of test names.
skipped_tests_regex() {
  local name names=()
  for name in "${asked_to_skip[@]}"; do
    printf '%s\n' "${labels[@]}" | grep -qx -- "$name" || names+=("$name")
  done
  [ "${#names[@]}" -eq 0 ] || (IFS='|' && echo "^(${names[*]})\$")
}
skip_regex=$(skipped_tests_regex)
matched_skips=()

# The names of the tests a preset would run, one a line.
test_names() {  # test preset, ctest options...
  ctest --preset "$@" -N 2>/dev/null | sed -nE 's/^ *Test +#[0-9]+: (.*)$/\1/p'
}

how=$(tools/wine_session.sh how 2>/dev/null)
wine_check=0
tools/wine_session.sh check 2>build/logs/wine-check.log || wine_check=1
case $how in
native) how_text="natively" ;;
vm-kvm) how_text="in a virtual machine with KVM (tools/wine_vm.sh)" ;;
*) how_text="in a virtual machine under full emulation, without KVM (tools/wine_vm.sh)" ;;
esac

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
suite() {  # label, test preset, tree, ctest options...
  local label=$1 tests=$2 tree=$root/build/$3
  shift 3
  local log=build/logs/ctest-$label.log junit=$root/build/logs/ctest-$label.xml
  local counts ok bad skip names
  if asked "$label"; then
    left_out "$label" "$(test_names "$tests" "$@" | wc -l)" "suite $label" "left out by SKIP"
    return
  fi
  local only=("$@")
  if [ -n "$skip_regex" ]; then
    names=$(test_names "$tests" "$@" -R "$skip_regex")
    if [ -n "$names" ]; then
      matched_skips+=($names)
      left_out "$label" "$(wc -l <<<"$names")" "$(echo $names)" "left out by SKIP"
    fi
    only+=(-E "$skip_regex")
  fi
  rm -rf "$tree/test-results" "$junit"
  ctest --preset "$tests" "${only[@]}" --show-only=json-v1 >"$tree/ctest-tests.json" 2>/dev/null
  ctest --preset "$tests" "${only[@]}" --output-junit "$junit" >"$log" 2>&1
  if [ ! -f "$junit" ]; then
    tail -n 40 "$log"
    record "$label" 0 1
    return
  fi
  counts=$(tools/test_results.py "$junit" "$tree" "$tree/ctest-tests.json")
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
  if asked format; then
    left_out format 1 "suite format" "left out by SKIP"
  elif git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror >"$log" 2>&1; then
    record format 1 0
  else
    grep -m 20 'error' "$log"
    record format 0 1
  fi
}

# The Wine session starts beside the native builds and suites: where it
# runs in a virtual machine, building and booting that machine takes minutes.
session=
start_session() {
  if [ "$wine_check" -ne 0 ] || asked wine; then return; fi
  tools/wine_session.sh start >build/logs/wine-session.log 2>&1 &
  session=$!
}
# The gate ends the session it used (a suite may start one, too); the loop
# leaves it running for the next time.
[ "$mode" = loop ] || trap 'tools/wine_session.sh stop >/dev/null 2>&1' EXIT

# Both Windows trees are built, then their suites run under Wine: under full
# emulation, all but those labelled slow (make check leaves those out too).
windows_suites() {
  build windows wine || return
  if asked wine; then
    suite wine windows windows
    return
  fi
  if [ "$wine_check" -ne 0 ] || ! wait "$session"; then
    cat build/logs/wine-check.log build/logs/wine-session.log >&2
    record wine 0 1
    return
  fi
  if [ "$mode" = full ] && [ "$how" != vm-tcg ]; then
    suite wine windows windows
    return
  fi
  local slow why="Wine ran under full emulation; they run where Wine runs natively or with KVM"
  [ "$mode" = full ] || why="make check leaves them to make test"
  slow=$(test_names windows -L slow)
  left_out wine "$(wc -l <<<"$slow")" "$(echo $slow) (label slow)" "$why"
  suite wine windows-quick windows
}

start_session
if [ "$mode" = loop ]; then
  build native unit && suite unit native native
  windows_suites
else
  format_suite
  if build native unit valgrind tools; then
    suite unit native native
    suite valgrind valgrind native
    suite tools tools native
  fi
  build sanitize sanitize && suite sanitize sanitize sanitize
  windows_suites
  if build archives repro audit signing; then
    for label in repro audit signing; do suite "$label" "$label" archives; done
  fi
  build bench bench && suite bench bench bench
  build fuzz fuzz && suite fuzz fuzz fuzz
fi

# A test name in SKIP that named nothing would leave out nothing, unnoticed.
for name in "${asked_to_skip[@]}"; do
  printf '%s\n' "${labels[@]}" "${matched_skips[@]}" | grep -qx -- "$name" && continue
  echo "SKIP names $name, which is no suite label (${labels[*]}) and no test that ran here"
  failed=$((failed + 1))
done

printf '%s\n' "${summary[@]}"
echo "Wine ran $how_text."
for line in "${not_proven[@]}"; do echo "Not proven here: $line."; done
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
