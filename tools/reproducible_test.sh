#!/usr/bin/env bash
# Builds the module archives twice, in two build folders and a little apart in
# time, and expects the same bytes: the archives and every file in them.
# Prints one line per compared file; exits non-zero when any differs.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work=build/repro
rm -rf "$work"
for run in first second; do
  if ! TAMSEL_DIST_ONLY=modules TAMSEL_DIST_BUILD="$work/$run/build" TAMSEL_DIST_OUT="$work/$run/dist" \
    tools/dist.sh >"$work-$run.log" 2>&1; then
    tail -n 20 "$work-$run.log"
    exit 1
  fi
  sleep 1
done
status=0
compare() {  # label, first file, second file
  if cmp -s "$2" "$3"; then
    echo "same bytes: $1"
  else
    echo "DIFFERENT: $1"
    status=1
  fi
}
for archive in "$work"/first/dist/*.zip; do
  name=$(basename "$archive")
  compare "$name" "$archive" "$work/second/dist/$name"
done
for file in $(cd "$work/first/build" && find stage -type f | LC_ALL=C sort); do
  compare "$file" "$work/first/build/$file" "$work/second/build/$file"
done
exit $status
