#!/usr/bin/env bash
# Compiler launcher of the Microsoft-ABI build: runs the compiler in the source
# root and names the source file relative to it.
#   compile_in_source_root.sh SOURCE_ROOT COMPILER ARGS...
# clang's Microsoft mangling names an anonymous namespace after a hash of the
# main file's path as the command line gives it, and no prefix map reaches that
# hash: with an absolute path, every checkout folder gives other symbol and RTTI
# names. A path relative to the source root gives the same names from any
# checkout and still a distinct one per source file (msvcrt matches a catch by
# the RTTI name, so two anonymous classes must not share one).
# The build's own relative paths (object, dependency file, response files) are
# made absolute first, and the dependency file's relative entries after, so
# make still sees every header a source includes. The debug information keeps
# naming the object as the build did, relative to the target's folder.
set -euo pipefail
root=$1
shift
here=$PWD
args=()
extra=()
depfile=
next=
for arg in "$@"; do
  case $next in
  object)
    [[ $arg == /* ]] || extra=(-Xclang "-object-file-name=$arg")
    [[ $arg == /* ]] || arg=$here/$arg
    ;;
  depfile)
    [[ $arg == /* ]] || arg=$here/$arg
    depfile=$arg
    ;;
  source)
    [[ $arg == /* ]] || arg=$here/$arg
    [[ $arg != "$root"/* ]] || arg=${arg#"$root"/}
    ;;
  *)
    case $arg in
    @*) [[ $arg == @/* ]] || arg=@$here/${arg#@} ;;
    esac
    ;;
  esac
  case $next:$arg in
  :-o) next=object ;;
  :-MF) next=depfile ;;
  :-c) next=source ;;
  *) next= ;;
  esac
  args+=("$arg")
done
cd "$root"
"${args[@]}" "${extra[@]}"
if [ -n "$depfile" ] && [ -f "$depfile" ]; then
  # One entry per blank-separated word; "\ " escapes a blank inside a path, so
  # a word ending in a backslash continues into the next. The target ends in ":".
  awk -v prefix="${root// /\\ }/" '{
    joined = 0
    for (i = 1; i <= NF; i++) {
      word = $i
      if (!joined && word != "\\" && word !~ /^\// && word !~ /:$/) $i = prefix word
      joined = (word ~ /\\$/ && word != "\\")
    }
    print
  }' "$depfile" >"$depfile.tmp"
  mv "$depfile.tmp" "$depfile"
fi
