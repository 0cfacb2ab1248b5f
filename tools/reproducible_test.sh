#!/usr/bin/env bash
# Builds the module archives in two checkouts at different paths, of different
# lengths, a little apart in time, and expects the same bytes: the archives,
# every file in them, the symbols in debug/, and the program databases and link
# maps of all Microsoft-ABI images. The checkouts are copies of this tree's
# files as they are now (tracked, and untracked but not ignored), so work not
# yet committed is tested too; both take the commit's time.
# Prints one line per compared file; exits non-zero when any differs. The first
# checkout stays for tools/signing_test.sh (build/repro/a).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work=$root/build/repro
checkouts=("$work/a" "$work/second-checkout/of-tamsel")
rm -rf "$work"
mkdir -p "$work"
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
for checkout in "${checkouts[@]}"; do
  mkdir -p "$checkout"
  git ls-files -z --cached --others --exclude-standard |
    tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$checkout"
  log=$work/$(basename "$checkout").log
  if ! (cd "$checkout" && TAMSEL_DIST_ONLY=modules tools/dist.sh) >"$log" 2>&1; then
    tail -n 20 "$log"
    exit 1
  fi
  sleep 1
done
first=${checkouts[0]}
second=${checkouts[1]}
status=0
compare() {  # label, path inside a checkout
  if cmp -s "$first/$2" "$second/$2"; then
    echo "same bytes: $1"
  else
    echo "DIFFERENT: $1"
    status=1
  fi
}
for archive in "$first"/dist/*.zip; do
  compare "$(basename "$archive")" "dist/$(basename "$archive")"
done
for file in $(cd "$first/build/dist" && find stage -type f | LC_ALL=C sort); do
  compare "$file" "build/dist/$file"
done
for file in $(cd "$first/dist" && find debug -type f | LC_ALL=C sort); do
  compare "$file" "dist/$file"
done
# The host's Microsoft-ABI images are built but not shipped by a modules-only
# run: their symbols come from the build folder.
for file in $(cd "$first/build/dist/msvc/bin" && find . -name '*.pdb' -o -name '*.map' | LC_ALL=C sort); do
  file=${file#./}
  [ -e "$first/dist/debug/msvc/$file" ] || compare "build msvc/$file" "build/dist/msvc/bin/$file"
done
exit $status
