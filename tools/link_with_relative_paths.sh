#!/usr/bin/env bash
# Linker launcher of the Microsoft-ABI build: names every file of the source
# and build trees relative to the folder the link runs in.
#   link_with_relative_paths.sh SOURCE_ROOT BUILD_ROOT LINKER ARGS...
# The linker writes its command line and the program database's path into the
# database; absolute paths there would make it differ from one checkout folder
# to the next. An argument is rewritten when it is such a path, alone or after
# an option's colon (/DEF:..., /pdb:...).
set -euo pipefail
source_root=$1
build_root=$2
shift 2
args=()
for arg in "$@"; do
  if [[ $arg =~ ^(/[A-Za-z]+:)?(/.*)$ ]]; then
    path=${BASH_REMATCH[2]}
    if [[ $path == "$source_root"/* || $path == "$build_root"/* ]]; then
      arg=${BASH_REMATCH[1]}$(realpath -m --relative-to=. "$path")
    fi
  fi
  args+=("$arg")
done
exec "${args[@]}"
