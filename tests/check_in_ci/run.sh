#!/usr/bin/env bash
# Checks modules as a module developer's CI runner does: no display, the host
# archive unpacked (not a build tree), this folder's project configured, built
# and tested with quarlo_check's default launcher, each test in a fresh Wine
# prefix of its own. Expects: the conforming module passes, the one with a
# second export fails, and passes where a file of known deviations names it;
# the crashing one fails with a crashed case that names module+offset and
# the export; each JUnit report is one a JUnit reader takes, with the skipped
# cases' reasons. Then the host alone, with no display at all: exit 2, one
# line naming the cause, and no case blamed on the module.
#   run.sh SOURCE_ROOT DIST_FOLDER WORK_FOLDER
set -euo pipefail
source=$1
dist=$(realpath "$2")
work=$(realpath -m "$3")
rm -rf "$work"
mkdir -p "$work"
unset DISPLAY

fail() {
  echo "check_in_ci: $*" >&2
  exit 1
}

archives=("$dist"/quarlo-host-*-win32.zip)
[ -f "${archives[0]}" ] || fail "no host archive in $dist"
# Python's unzip keeps no file modes, as some unzip tools do not.
python3 -m zipfile -e "${archives[0]}" "$work/host"
host=$(echo "$work"/host/quarlo-host-*-win32)

# Where this kernel runs no 32-bit programs, Wine runs in the project's virtual
# machine: the same launcher runs there, without a display.
where=()
if [ "$("$source/tools/wine_session.sh" how)" != native ]; then
  where=("$source/tools/wine_session.sh" exec)
fi
launcher=
if [ "${#where[@]}" -ne 0 ]; then
  parts=("${where[@]}" sh "$host/quarlo_check_wine.sh")
  launcher=$(IFS=';' && echo "${parts[*]}")
fi

project=$work/project
cmake -S "$source/tests/check_in_ci" -B "$project" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$source/cmake/toolchains/i686-w64-mingw32.cmake" \
  -DQUARLO_HOST_DIR="$host" -DQUARLO_LAUNCHER="$launcher" \
  -DQUARLO_CHECK_TIMEOUT=$((600 * ${TAMSEL_TIME_FACTOR:-1})) \
  -DTAMSEL_SOURCE="$source" >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
cmake --build "$project" >>"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
# The modules' runtime DLLs come from beside the host, as they would for a
# module in its own folder. Two tests at a time, as the guest has two cores.
ctest --test-dir "$project" -j 2 --output-junit "$work/ctest.xml" >"$work/ctest.log" 2>&1 || true
verdict() {  # test: passed or failed, as ctest's report has it
  python3 -c 'import sys, xml.etree.ElementTree as t
case = t.parse(sys.argv[1]).find(".//testcase[@name=\"%s\"]" % sys.argv[2])
print("missing" if case is None else case.get("status"))' "$work/ctest.xml" "quarlo_check_$1"
}
for test in checked_conforming:run known_second_export:run checked_second_export:fail \
  checked_crash_in_export:fail; do
  got=$(verdict "${test%%:*}")
  [ "$got" = "${test##*:}" ] || { cat "$work/ctest.log"; fail "quarlo_check_${test%%:*}: $got"; }
done
for test in checked_conforming checked_second_export known_second_export checked_crash_in_export; do
  report=$project/quarlo_check_$test.xml
  python3 "$source/tests/wine/check_junit.py" "$report" || fail "$report: not a JUnit report"
  [ -s "$project/quarlo_check_wine/quarlo_check_$test/system.reg" ] ||
    fail "$test ran in no Wine prefix of its own"
done
expect() {  # report, text
  grep -qF -- "$2" "$1" || fail "$1: no \"$2\""
}
expect "$project/quarlo_check_checked_conforming.xml" \
  'quarlo_check.toml: the random sequences run in the checker'
expect "$project/quarlo_check_known_second_export.xml" \
  'known_deviations.toml: checker_second_export is for our own tools'
crash=$project/quarlo_check_checked_crash_in_export.xml
expect "$crash" 'type="crashed"'
expect "$crash" 'exception 0xC0000005 at checked_crash_in_export.dll+0x'
expect "$crash" '(checker_crash_here+0x'

# The host with no display and nothing to bring one: the cases that need the
# main window are not run, and the others are.
module=$project/checked_conforming.dll
status=0
# shellcheck disable=SC2016 # the inner shell expands them
cp -a "$project/quarlo_check_wine/.template" "$work/no_display"
"${where[@]}" env -u DISPLAY WINEPREFIX="$work/no_display" WINEARCH=win32 WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" sh -c '
    wine "$1" check "$2" --only "entry.*" --only run.commands_return >"$3.out" 2>"$3.err"
    status=$?
    wineserver -k
    exit $status' sh "$host/quarlo_host.exe" "$module" "$work/no_display" || status=$?
[ "$status" -eq 2 ] || fail "check without a display exited $status, not 2"
expect "$work/no_display.err" "need the host's main window, which cannot be created here"
[ "$(grep -c . "$work/no_display.err")" -eq 1 ] || fail "check without a display said more than one line"
expect "$work/no_display.out" "skipped run.commands_return"
grep -qE '^(failed|crashed) ' "$work/no_display.out" && fail "check without a display blamed the module"
grep -qE '^passed entry\.' "$work/no_display.out" || fail "check without a display ran no entry case"
echo "check_in_ci: the conforming module passed, the faulty one failed and passed with its" \
  "deviation known, the crash was named; without a display, exit 2 and no case blamed"
