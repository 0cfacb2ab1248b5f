# The JUnit report of a test script, for bash (source it):
#   junit_begin SUITE REPORT
#   junit_passed NAME | junit_failed NAME WHY | junit_skipped NAME WHY
#   junit_end              writes REPORT; returns 1 when a case failed
# Every case also prints one line for the person reading the test's output.
junit_support=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

junit_begin() {  # suite, report
  junit_suite=$1
  junit_path=$2
  junit_records=$(mktemp)
}

junit_record() {  # outcome, name, message
  printf '%s\0%s\0%s\0' "$1" "$2" "$3" >>"$junit_records"
  echo "$1: $2${3:+: $3}"
}

junit_passed() { junit_record passed "$1" ""; }
junit_failed() { junit_record failed "$1" "$2"; }
junit_skipped() { junit_record skipped "$1" "$2"; }

junit_end() {
  local status=0
  python3 "$junit_support/junit_report.py" "$junit_suite" "$junit_path" <"$junit_records" || status=$?
  rm -f "$junit_records"
  return "$status"
}
