#!/usr/bin/env bash
# `make dist`: builds what ships in its release configuration, in build folders
# of its own, and writes to dist/:
#   tamsel-VERSION-win32-msvc.zip   the Microsoft-ABI tamsel.dll and INSTALL.txt
#   tamsel-VERSION-win32-gnu.zip    the GNU-ABI tamsel.dll, its runtime DLLs, INSTALL.txt
#   quarlo-host-VERSION-win32.zip   quarlo_host.exe with everything it needs
#   SHA256SUMS                      of the three
#   debug/                          the symbols stripped from what ships, and
#                                   the Microsoft-ABI images' program databases
# The same commit gives the same bytes: images without link times or build
# folders, archives with a fixed order, fixed permissions and every time set
# to the commit's (or to SOURCE_DATE_EPOCH, when set). TAMSEL_DIST_BUILD and
# TAMSEL_DIST_OUT choose other folders; TAMSEL_DIST_ONLY=modules makes the two
# module archives only.
# Given TAMSEL_SIGN_CERT (PEM certificate chain) and TAMSEL_SIGN_KEY (PEM
# private key, or a PKCS#11 URI with TAMSEL_SIGN_PKCS11_MODULE), every image
# that ships is signed with Authenticode (SHA-256) before it is zipped, and
# time-stamped when TAMSEL_SIGN_TIMESTAMP names an RFC 3161 server. The images
# in the build folders stay unsigned. TAMSEL_SIGN_PASS_FILE holds the key's
# passphrase or the token's PIN; TAMSEL_SIGN_PKCS11_ENGINE names the OpenSSL
# engine for the token when it is not the default one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${TAMSEL_DIST_BUILD:-build/dist}")
out=$(realpath -m "${TAMSEL_DIST_OUT:-dist}")
only=${TAMSEL_DIST_ONLY:-all}
version=$(sed -n 's/^project(tamsel VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
# objcopy stamps the PE images it writes with this time instead of the clock's.
export SOURCE_DATE_EPOCH=$epoch
objcopy=i686-w64-mingw32-objcopy
mkdir -p "$build/logs"

sign_options=()
if [ -n "${TAMSEL_SIGN_CERT:-}${TAMSEL_SIGN_KEY:-}" ]; then
  if [ -z "${TAMSEL_SIGN_CERT:-}" ] || [ -z "${TAMSEL_SIGN_KEY:-}" ]; then
    echo "dist: signing needs both TAMSEL_SIGN_CERT and TAMSEL_SIGN_KEY" >&2
    exit 1
  fi
  sign_options=(-h sha256 -certs "$TAMSEL_SIGN_CERT" -key "$TAMSEL_SIGN_KEY")
  [ -z "${TAMSEL_SIGN_PKCS11_MODULE:-}" ] || sign_options+=(-pkcs11module "$TAMSEL_SIGN_PKCS11_MODULE")
  [ -z "${TAMSEL_SIGN_PKCS11_ENGINE:-}" ] || sign_options+=(-pkcs11engine "$TAMSEL_SIGN_PKCS11_ENGINE")
  [ -z "${TAMSEL_SIGN_PASS_FILE:-}" ] || sign_options+=(-readpass "$TAMSEL_SIGN_PASS_FILE")
  [ -z "${TAMSEL_SIGN_TIMESTAMP:-}" ] || sign_options+=(-ts "$TAMSEL_SIGN_TIMESTAMP")
fi

# A GNU-ABI image without its debug information, which goes to debug/.
strip_gnu() {  # from, to, debug folder
  local name
  name=$(basename "$2")
  mkdir -p "$3" "$(dirname "$2")"
  "$objcopy" --only-keep-debug "$1" "$3/$name.debug"
  (cd "$3" && "$objcopy" --strip-all --add-gnu-debuglink="$name.debug" "$1" "$2")
}

# A toolchain DLL, stripped; its symbols come with the toolchain's packages.
strip_runtime() {  # from, to
  mkdir -p "$(dirname "$2")"
  "$objcopy" --strip-all "$1" "$2"
}

note() {  # template, to
  sed "s/@VERSION@/$version/g" "$1" >"$2"
}

# Signs every image in a staged folder, when a key is given.
sign_images() {  # folder
  local image log="$build/logs/sign.log"
  [ "${#sign_options[@]}" -gt 0 ] || return 0
  while IFS= read -r -d '' image; do
    if ! osslsigncode sign "${sign_options[@]}" -in "$image" -out "$image.signed" >"$log" 2>&1; then
      cat "$log" >&2
      echo "dist: signing $image failed" >&2
      exit 1
    fi
    mv "$image.signed" "$image"
  done < <(find "$1" -type f \( -name '*.dll' -o -name '*.exe' \) -print0 | LC_ALL=C sort -z)
}

# Signs the folder's images when a key is given, then zips the folder's content
# under its own name, in a fixed order, with fixed permissions and the commit's
# time on every entry.
pack() {  # staging parent, folder name, archive
  local parent=$1 name=$2 archive=$3
  sign_images "$parent/$name"
  find "$parent/$name" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
  find "$parent/$name" -exec touch -h -d "@$epoch" {} +
  rm -f "$archive"
  (cd "$parent" && find "$name" -print | LC_ALL=C sort |
    TZ=UTC zip -q -X -D -9 "$archive" -@)
}

# The windows preset builds the windows-msvc tree first.
gnu_targets=(tamsel quarlo_shared)
[ "$only" = modules ] || gnu_targets+=(quarlo_host quarlo_msvc_half)
if ! TAMSEL_BUILD_ROOT=$build tools/build_preset.sh windows "${gnu_targets[@]}"; then
  echo "dist: the build failed" >&2
  exit 1
fi

stage="$build/stage"
rm -rf "$stage" "$out"
mkdir -p "$stage" "$out/debug"
msvc=$build/windows-msvc/bin
gnu=$build/windows/bin
runtime=(libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll)

name=tamsel-$version-win32-msvc
mkdir -p "$stage/$name" "$out/debug/msvc"
cp "$msvc/tamsel.dll" "$stage/$name/"
cp "$msvc/tamsel.map" "$msvc/tamsel.pdb" "$out/debug/msvc/"
note tools/dist/INSTALL-msvc.txt "$stage/$name/INSTALL.txt"
pack "$stage" "$name" "$out/$name.zip"

name=tamsel-$version-win32-gnu
strip_gnu "$gnu/tamsel.dll" "$stage/$name/tamsel.dll" "$out/debug/gnu"
for dll in "${runtime[@]}"; do strip_runtime "$gnu/$dll" "$stage/$name/$dll"; done
note tools/dist/INSTALL-gnu.txt "$stage/$name/INSTALL.txt"
pack "$stage" "$name" "$out/$name.zip"

if [ "$only" != modules ]; then
  name=quarlo-host-$version-win32
  strip_gnu "$gnu/quarlo_host.exe" "$stage/$name/quarlo_host.exe" "$out/debug/gnu"
  strip_gnu "$gnu/quarlo_shared.dll" "$stage/$name/quarlo_shared.dll" "$out/debug/gnu"
  for dll in "${runtime[@]}"; do strip_runtime "$gnu/$dll" "$stage/$name/$dll"; done
  mkdir -p "$stage/$name/msvc"
  cp "$msvc/quarlo_shared.dll" "$msvc/quarlo_msvc_bridge.dll" "$stage/$name/msvc/"
  cp "$msvc"/{quarlo_shared,quarlo_msvc_bridge}.{map,pdb} "$out/debug/msvc/"
  cp quarlo_host/samples/services.txt quarlo_host/ci/quarlo_check.cmake \
    quarlo_host/ci/quarlo_check_wine.sh "$stage/$name/"
  note tools/dist/README-host.txt "$stage/$name/README.txt"
  pack "$stage" "$name" "$out/$name.zip"
fi

(cd "$out" && sha256sum ./*.zip | sed 's| \./| |' >SHA256SUMS)
echo "dist: $out"
(cd "$out" && for f in *.zip; do printf '  %-40s %8d bytes\n' "$f" "$(stat -c %s "$f")"; done)
