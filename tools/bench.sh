#!/usr/bin/env bash
# `make bench`: the native Google Benchmark program, then the GUID detector
# timed natively and under Wine in both Windows builds (detector_timing, with
# the Microsoft-ABI detector in guid_detector.dll), one table per input, and
# the cost of a keystroke in the real dialog for both builds of tamsel.dll
# (keystroke_timing). Builds the presets it needs first. The records behind
# the tables are kept in build/logs/bench-*.txt.
#
# --quick: a few runs of everything, to show that it all builds, runs and
# finds what it should (the bench suite of make test); its figures mean nothing.
# --no-build: the trees as they are (the test gate has just built them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

google_args=()
detector_args=()
keystroke_args=()
build=1
for option in "$@"; do
  case $option in
  --quick)
    google_args=(--benchmark_min_time=0.01)
    detector_args=(--runs 3)
    keystroke_args=(--keys 5 --rounds 1)
    ;;
  --no-build) build=0 ;;
  *)
    echo "usage: $0 [--quick] [--no-build]" >&2
    exit 2
    ;;
  esac
done

mkdir -p build/logs
if [ "$build" -eq 1 ]; then
  tools/build_preset.sh bench
  tools/build_preset.sh windows
fi

wine_runs=1
tools/wine_session.sh check || wine_runs=0

# A Wine session this script starts, it also ends.
if [ "$wine_runs" -eq 1 ] && [ ! -f build/wine/env ]; then
  tools/wine_session.sh start
  trap 'tools/wine_session.sh stop >/dev/null 2>&1' EXIT
fi

echo "== Google Benchmark, native"
build/bench/bench/tamsel_bench "${google_args[@]}"

native_records=build/logs/bench-detector-native.txt
wine_records=build/logs/bench-detector-wine.txt
build/bench/bench/detector_timing/detector_timing "${detector_args[@]}" >"$native_records"
if [ "$wine_runs" -eq 0 ]; then
  echo
  echo "== GUID detector, native only (the Windows builds need Wine)"
  echo
  awk -v native="$(uname -m) $(uname -s)" -v native_only=1 -f tools/detector_tables.awk \
    "$native_records"
  exit 0
fi
tools/wine_exec.sh build/windows/bin/detector_timing.exe "${detector_args[@]}" \
  --dll "Z:$root/build/windows-msvc/bin/guid_detector.dll" >"$wine_records"
echo
echo "== GUID detector, native and under Wine"
echo
awk -v native="$(uname -m) $(uname -s)" -f tools/detector_tables.awk \
  "$native_records" "$wine_records"

keystroke_records=build/logs/bench-keystroke.txt
: >"$keystroke_records"
for module in build/windows/bin/tamsel.dll build/windows-msvc/bin/tamsel.dll; do
  tools/wine_exec.sh build/windows/bin/keystroke_timing.exe "Z:$root/$module" \
    "${keystroke_args[@]}" >>"$keystroke_records"
done
echo
echo "== Keystroke cost in the lookup dialog"
echo
awk -f tools/keystroke_table.awk "$keystroke_records"
