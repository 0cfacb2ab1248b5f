#!/usr/bin/env bash
# No process of the Wine session holds a test's output: the session started
# Wine's daemons beforehand, so a program that opens a window and uses COM
# (window_and_com.exe) draws none under its pipe, and its pipe closes when it
# ends, run by plain wine as well as through tools/wine_exec.sh. Runs where
# Wine runs (tools/wine_session.sh exec).
#   wine_pipes_test.sh REPORT PROGRAM
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/support/junit_report.sh"
junit_begin wine_pipes "$1"
program=$2
limit=5

# Seconds from the program's last line to the end of its pipe, "hung" when
# the pipe stays open a minute on, or "no last line".
pipe_closes() {  # command...
  timeout 300 "$@" 2>&1 | timeout 360 bash -c '
    while IFS= read -r line; do
      [ "${line%$'"'\r'"'}" = done ] || continue
      start=$(date +%s%N)
      if timeout 60 cat >/dev/null; then echo $((($(date +%s%N) - start) / 1000000000)); else echo hung; fi
      exit
    done
    echo "no last line"'
}

set -a
. "$root/build/wine/env"
set +a
export WINEARCH=win32 WINEDEBUG=-all
for how in "plain wine" "tools/wine_exec.sh"; do
  if [ "$how" = "plain wine" ]; then took=$(pipe_closes wine "$program"); else
    took=$(pipe_closes "$root/tools/wine_exec.sh" "$program"); fi
  name="run by $how, a program's pipe closes when it ends"
  if [[ $took =~ ^[0-9]+$ ]] && [ "$took" -le "$limit" ]; then junit_passed "$name"; else
    junit_failed "$name" "the pipe: $took (in seconds after the program's last line)"; fi
done

# Wine's own processes (C:\windows\...) and its server: none writes to a pipe.
held=()
for pid in $(pgrep -f '^(C:\\windows\\|start\.exe|/usr/lib/wine/wineserver)'); do
  for fd in 1 2; do
    target=$(readlink "/proc/$pid/fd/$fd" 2>/dev/null) || continue
    case $target in pipe:*) held+=("$(tr '\0' ' ' <"/proc/$pid/cmdline") holds a pipe as fd $fd") ;; esac
  done
done
if [ "${#held[@]}" -eq 0 ]; then junit_passed "no Wine daemon holds a pipe"; else
  junit_failed "no Wine daemon holds a pipe" "${held[*]}"; fi
junit_end
