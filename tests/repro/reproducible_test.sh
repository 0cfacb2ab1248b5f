#!/usr/bin/env bash
# Builds the module archives in two checkouts at different paths, of different
# lengths, a little apart in time, and expects the same bytes: the archives,
# every file in them, the symbols in debug/, and the program databases and link
# maps of all Microsoft-ABI images, and checks that each of these images names
# its database by file name and GUID. The checkouts are copies of this tree's
# files as they are now (tracked, and untracked but not ignored), so work not
# yet committed is tested too; both take the commit's time.
#   reproducible_test.sh REPORT     one JUnit testcase per compared file and per
#                                   image's symbols in REPORT
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
. tests/support/junit_report.sh
junit_begin repro "$1"
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
    junit_failed "build in $checkout" "tools/dist.sh failed (log: $log)"
    junit_end
    exit 1
  fi
  sleep 1
done
first=${checkouts[0]}
second=${checkouts[1]}
compare() {  # label, path inside a checkout
  if cmp -s "$first/$2" "$second/$2"; then
    junit_passed "same bytes: $1"
  else
    junit_failed "same bytes: $1" "the two checkouts built different bytes"
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
for file in $(cd "$first/build/dist/windows-msvc/bin" && find . -name '*.pdb' -o -name '*.map' | LC_ALL=C sort); do
  file=${file#./}
  [ -e "$first/dist/debug/msvc/$file" ] || compare "build msvc/$file" "build/dist/windows-msvc/bin/$file"
done
# What a debugger needs to pair an image with its program database, and no
# trace of the folders it was built in nor of a compiler's command line.
check_symbols() {  # image
  local dll=$first/build/dist/windows-msvc/bin/$1 pdb map debug summary
  pdb=${dll%.dll}.pdb
  map=${dll%.dll}.map
  debug=$(llvm-readobj-19 --coff-debug-directory "$dll")
  summary=$(llvm-pdbutil-19 dump -summary "$pdb")
  if [ "$(sed -n 's/^ *PDBFileName: //p' <<<"$debug")" != "$(basename "$pdb")" ]; then
    echo "the image names its database otherwise than by file name"
  elif [ "$(sed -n 's/^ *PDBGUID: //p' <<<"$debug")" != "$(sed -n 's/^ *GUID: //p' <<<"$summary")" ] ||
    [ "$(sed -n 's/^ *PDBAge: //p' <<<"$debug")" != "$(sed -n 's/^ *Age: //p' <<<"$summary")" ]; then
    echo "the image names another database than the one beside it"
  elif [ "$(llvm-pdbutil-19 dump -files "$pdb" | grep -c 'SHA-256')" -eq 0 ]; then
    echo "no SHA-256 source hashes in the database"
  elif grep -aqF "$root" "$dll" "$pdb" "$map"; then
    echo "the checkout's folder is recorded"
  elif grep -aq -e '-cc1' "$pdb"; then
    echo "the compiler's command line is recorded"
  fi
}
for image in tamsel.dll quarlo_shared.dll quarlo_msvc_bridge.dll; do
  problem=$(check_symbols "$image")
  if [ -z "$problem" ]; then
    junit_passed "symbols fit: $image"
  else
    junit_failed "symbols fit: $image" "$problem"
  fi
done
junit_end
