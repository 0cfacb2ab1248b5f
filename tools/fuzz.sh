#!/usr/bin/env bash
# Runs every built fuzz target for the given number of seconds each, from a
# fixed seed so a failure can be replayed. Prints one line per target and
# exits non-zero when any target found a fault.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
dir="$root/build/fuzz/fuzz"
mkdir -p "$root/build/logs"
status=0
shopt -s nullglob
targets=("$dir"/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets built in $dir" >&2
  exit 1
fi
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus="$root/build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  log="$root/build/logs/$name.log"
  if "$target" -max_total_time="$seconds" -seed=1 -print_final_stats=1 \
    -artifact_prefix="$root/build/fuzz/" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $name: passed ($runs runs in ${seconds}s)"
  else
    echo "fuzz $name: FAILED (log: $log)"
    tail -n 30 "$log"
    status=1
  fi
done
exit $status
