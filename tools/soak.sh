#!/usr/bin/env bash
# The suites under Wine again and again, under load (make soak), so that a
# hang or a flaky case shows before it lands: ROUNDS rounds (default 5), each
# on a fresh Wine session, running the suites that make test runs under Wine
# here (all but those labelled slow where Wine runs under full emulation) with
# ctest -j 2 beside a busy loop on each core of the machine Wine runs on (the
# virtual machine's own cores when there is one: the load that matters is the
# one Wine's processes compete with). Under full emulation the loops run at
# nice 10, so that five rounds take about an hour rather than three. Stops at
# the first round with a failure, and ends with the rounds' line,
# "N passed, N failed".
#   tools/soak.sh [ROUNDS]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-5}
tools/build_preset.sh windows || exit 1
preset=windows
nice=0
if [ "$(tools/wine_session.sh how)" = vm-tcg ]; then
  preset=windows-quick
  nice=10
fi

busy=()
stop_load() {
  [ "${#busy[@]}" -eq 0 ] || kill "${busy[@]}" 2>/dev/null
  busy=()
}
trap 'stop_load; tools/wine_session.sh stop >/dev/null 2>&1' EXIT

passed=0
failed=0
for round in $(seq "$rounds"); do
  tools/wine_session.sh stop >/dev/null 2>&1
  tools/wine_session.sh start >build/logs/soak-session.log 2>&1 || { cat build/logs/soak-session.log; exit 1; }
  cores=$(tools/wine_session.sh exec nproc)
  for _ in $(seq "$cores"); do
    tools/wine_session.sh exec nice -n "$nice" bash -c 'while :; do :; done' &
    busy+=($!)
  done
  start=$(date +%s)
  junit=$root/build/logs/soak-$round.xml
  rm -rf build/windows/test-results
  ctest --preset "$preset" -j 2 --show-only=json-v1 >build/windows/ctest-tests.json 2>/dev/null
  ctest --preset "$preset" -j 2 --output-junit "$junit" >"build/logs/soak-$round.log" 2>&1
  stop_load
  counts=$(tools/test_results.py "$junit" build/windows build/windows/ctest-tests.json)
  read -r ok bad _ <<<"$(head -n 1 <<<"$counts")"
  echo "round $round: $ok cases passed, $bad failed, in $(($(date +%s) - start)) s, $cores busy loops at nice $nice"
  if [ "$bad" -ne 0 ]; then
    grep '^FAILED:' <<<"$counts"
    failed=$((failed + 1))
    break
  fi
  passed=$((passed + 1))
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
