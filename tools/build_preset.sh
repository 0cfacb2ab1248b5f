#!/usr/bin/env bash
# Configures and builds one CMake preset quietly, showing the log on failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
preset=$1
mkdir -p build/logs
log="build/logs/build-$preset.log"
if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; } >"$log" 2>&1; then
  tail -n 60 "$log" >&2
  echo "build of preset $preset failed (log: $log)" >&2
  exit 1
fi
