#!/usr/bin/env bash
# Configures and builds a CMake preset quietly, showing the log on failure.
#   tools/build_preset.sh PRESET [TARGET...]
# The one place that knows the order of the presets: the windows tree takes
# the windows-msvc tree's output (the host's half for Microsoft-ABI modules,
# and that ABI's modules, which its suites drive), so building windows builds
# windows-msvc first, in full. TARGETs, when given, apply to PRESET alone.
# The trees go to build/PRESET, or to ROOT/PRESET with TAMSEL_BUILD_ROOT=ROOT;
# the logs to build/logs/build-PRESET.log, or ROOT/logs/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ $# -ge 1 ] || { echo "usage: $0 PRESET [TARGET...]" >&2; exit 2; }
preset=$1
shift
trees=$(realpath -m "${TAMSEL_BUILD_ROOT:-build}")
mkdir -p "$trees/logs"

prerequisites() {  # preset
  case $1 in
  windows) echo windows-msvc ;;
  esac
}

build() {  # preset, targets...
  local p=$1 log="$trees/logs/build-$1.log"
  shift
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  if ! { cmake --preset "$p" -B "$trees/$p" && cmake --build "$trees/$p" "${targets[@]}"; } \
    >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "build of preset $p failed (log: $log)" >&2
    exit 1
  fi
}

for before in $(prerequisites "$preset"); do build "$before"; done
build "$preset" "$@"
