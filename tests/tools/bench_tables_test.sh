#!/usr/bin/env bash
# Checks the awk programs of tools/bench.sh that turn the timing records into
# tables: each row in its place with the right figure and ratios, and a missing
# figure failing the run.
#   bench_tables_test.sh REPORT     one JUnit testcase per case in REPORT
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
. tests/support/junit_report.sh
junit_begin bench_tables "$1"
# Further awk variables for the next cases.
vars=()

# case name, awk program, expected exit status, records, then lines the output must hold
check() {
  local name=$1 program=$2 status=$3 records=$4 out rc line
  shift 4
  out=$(printf '%s\n' "$records" | awk -v native=testbox "${vars[@]}" -f "$program" 2>&1)
  rc=$?
  if [ "$rc" -ne "$status" ]; then
    junit_failed "$name" "exit status $rc, not $status"
    return
  fi
  for line in "$@"; do
    if ! grep -qxF -- "$line" <<<"$out"; then
      printf '%s\n' "$out"
      junit_failed "$name" "no line: $line"
      return
    fi
  done
  junit_passed "$name"
}

# Half a MiB, so every time doubles per MiB.
detector_records="build name=native compiler=N-1 config=Release sse2=yes
build name=windows-gnu compiler=G-2 config=RelWithDebInfo sse2=no
build name=windows-msvc compiler=C-3 config=Release sse2=yes
input name=dense bytes=524288 title=dense, \"quoted\" = odd
time input=dense build=native engine=detector runs=7 best_us=5.00
time input=dense build=windows-gnu engine=detector runs=9 best_us=15.00
time input=dense build=windows-msvc engine=detector runs=9 best_us=7.50
time input=dense build=native engine=strlen runs=7 best_us=1.25
time input=dense build=windows-gnu engine=strlen runs=9 best_us=20.00"

check detector-rows tools/detector_tables.awk 0 "$detector_records" \
  "Times are the best of 7 runs natively and 9 under Wine; ratios are of times (2.00: twice as long)." \
  "GUID detection over 1 MiB: dense, \"quoted\" = odd" \
  "| detector, native testbox (N-1 Release, SSE2 yes) | 10.0 | 1.00 | 4.00 |" \
  "| detector, Windows GNU ABI under Wine (G-2 RelWithDebInfo, SSE2 no) | 30.0 | 3.00 | 12.00 |" \
  "| detector, Windows Microsoft ABI under Wine (C-3 Release, SSE2 yes) | 15.0 | 1.50 | 6.00 |" \
  "| strlen, native C library | 2.5 | 0.25 | 1.00 |" \
  "| strlen, Wine's msvcrt.dll | 40.0 | 4.00 | 16.00 |"

check detector-missing tools/detector_tables.awk 1 "$(grep -v windows-msvc <<<"$detector_records")" \
  "| detector, Windows Microsoft ABI under Wine (build missing) | missing | | |"

check detector-none tools/detector_tables.awk 1 "" "detector_tables: no input records"

# Where Wine cannot run: the native rows alone, and no Windows figure missed.
vars=(-v native_only=1)
check detector-native-only tools/detector_tables.awk 0 "$(grep -v windows <<<"$detector_records")" \
  "Times are the best of 7 runs; ratios are of times (2.00: twice as long)." \
  "| detector, native testbox (N-1 Release, SSE2 yes) | 10.0 | 1.00 | 4.00 |" \
  "| strlen, native C library | 2.5 | 0.25 | 1.00 |"
vars=()

keystroke_records="keystroke abi=gnu procedure=module chars=300 keys=20 rounds=2 median_us=1000.4 mean_us=1100.0
keystroke abi=gnu procedure=ignoring chars=300 keys=20 rounds=2 median_us=960.0 mean_us=990.0
handling abi=gnu median_us=10.0 mean_us=12.0
share abi=gnu median=0.0404 mean=0.1000 handling=0.0100
keystroke abi=msvc procedure=module chars=300 keys=20 rounds=2 median_us=2000.0 mean_us=2000.0
keystroke abi=msvc procedure=ignoring chars=300 keys=20 rounds=2 median_us=2000.0 mean_us=2000.0
handling abi=msvc median_us=0.0 mean_us=0.0"

check keystroke-rows tools/keystroke_table.awk 1 "$keystroke_records" \
  "Keystrokes in the lookup dialog under Wine: 300 characters in Input, 20 keystrokes typed in each of 2 dialogs per procedure; each figure a median, the mean after it." \
  "| GNU ABI | 1000 (mean 1100) | 960 (mean 990) | 4.0% (mean 10.0%) | 10 (mean 12) | 1.0% |" \
  "| Microsoft ABI | 2000 (mean 2000) | 2000 (mean 2000) | missing | 0 (mean 0) | missing |"

check keystroke-complete tools/keystroke_table.awk 0 \
  "$(grep -v msvc <<<"$keystroke_records")" \
  "| GNU ABI | 1000 (mean 1100) | 960 (mean 990) | 4.0% (mean 10.0%) | 10 (mean 12) | 1.0% |"

junit_end
