#!/usr/bin/env bash
# Runs one libFuzzer target for TAMSEL_FUZZ_SECONDS (10 by default; `make fuzz`
# gives 300), from a fixed seed so a failure can be replayed, growing its
# corpus; a crash's input lands beside the corpora. Exits non-zero when the
# target found a fault.
#   run_fuzz_target.sh TARGET FOLDER     FOLDER holds corpus/NAME and the crashes
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 TARGET FOLDER" >&2; exit 2; }
corpus=$2/corpus/$(basename "$1")
mkdir -p "$corpus"
exec "$1" -max_total_time="${TAMSEL_FUZZ_SECONDS:-10}" -seed=1 -print_final_stats=1 \
  -artifact_prefix="$2/" "$corpus"
