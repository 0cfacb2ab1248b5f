#!/usr/bin/env bash
# The one build order that the messages name: tools/quarlo_host without a
# build, and the windows tree configured without the windows-msvc tree, each
# tell one command, the same, and that command run on an empty build root
# configures windows-msvc, builds it, then configures and builds windows, so
# that quarlo_host.exe lands where tools/quarlo_host looks. The configures are
# CMake's own; the builds are stood in for (they would take many minutes),
# each leaving the files that the next step looks for.
#   build_order_test.sh REPORT WORK     WORK: a scratch folder
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
. tests/support/junit_report.sh
junit_begin build_order "$1"
work=$(realpath -m "$2")
rm -rf "$work"
mkdir -p "$work/path"

# The command a message gives: its most indented lines (CMake indents a whole
# message, and the command further).
advice() {  # message
  awk '/[^ ]/ { match($0, /^ */); depth[NR] = RLENGTH; line[NR] = substr($0, RLENGTH + 1)
               if (RLENGTH > deepest) deepest = RLENGTH }
       END { for (n = 1; n <= NR; n++) if (n in depth && depth[n] == deepest && deepest > 0) print line[n] }' <<<"$1"
}

message=$(TAMSEL_BUILD_ROOT=$work/fresh tools/quarlo_host inspect tamsel.dll 2>&1)
status=$?
command=$(advice "$message")
exe=$(sed -n 's/^quarlo_host: \(.*\) not found.*/\1/p' <<<"$message")
if [ "$status" -ne 1 ] || [ "$(wc -l <<<"$command")" -ne 1 ] || [ -z "$command" ] || [ -z "$exe" ]; then
  junit_failed "quarlo_host without a build names one command" "exit status $status: $message"
else
  junit_passed "quarlo_host without a build names one command"
fi

mkdir -p "$work/alone"
message=$(cmake --preset windows -B "$work/alone/windows" 2>&1)
if [ $? -eq 0 ] || [ "$(advice "$message")" != "$command" ]; then
  junit_failed "the windows tree alone names the same command" "$(tail -n 5 <<<"$message")"
else
  junit_passed "the windows tree alone names the same command"
fi

# cmake as it is, but a build only records its tree and leaves the files that
# the windows tree's configure and tools/quarlo_host look for; and nothing may
# touch a tree outside the empty build root.
real_cmake=$(command -v cmake)
cat >"$work/path/cmake" <<EOF
#!/usr/bin/env bash
case "\$*" in
"--build $work/fresh/"* | "--preset "*" -B $work/fresh/"*) ;;
*) echo "cmake \$*: not in the empty build root $work/fresh" >&2; exit 1 ;;
esac
if [ "\$1" != --build ]; then exec "$real_cmake" "\$@"; fi
mkdir -p "\$2/bin"
touch "\$2/bin/quarlo_msvc_bridge.dll" "\$2/bin/quarlo_host.exe"
basename "\$2" >>"$work/built"
EOF
chmod +x "$work/path/cmake"
output=$(PATH=$work/path:$PATH TAMSEL_BUILD_ROOT=$work/fresh bash -c "$command" 2>&1)
status=$?
built=$(paste -sd' ' "$work/built" 2>/dev/null)
if [ "$status" -ne 0 ] || [ "$built" != "windows-msvc windows" ] || [ ! -f "$exe" ]; then
  junit_failed "the command builds both trees in order" \
    "exit status $status, built: ${built:-nothing}, $exe there: $([ -f "$exe" ] && echo yes || echo no); $(tail -n 5 <<<"$output")"
else
  junit_passed "the command builds both trees in order"
fi
junit_end
