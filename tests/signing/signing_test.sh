#!/usr/bin/env bash
# Makes the release archives twice from one build, unsigned and then signed
# with a throw-away self-signed certificate, and checks every image that ships:
# its signature verifies against that certificate, and its Authenticode digest,
# as the signature states it and as computed here with the signature removed,
# is the digest of the unsigned image. The build folders of tools/dist.sh
# (build/dist) are reused.
#   signing_test.sh REPORT     one JUnit testcase per image, per signed module
#                              loaded (under Wine) and for
#                              the tampered image in REPORT
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
. tests/support/junit_report.sh
junit_begin signing "$1"
work=$root/build/signing
rm -rf "$work"
mkdir -p "$work"
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)

# A step without which nothing can be checked: one failed case, and the end.
fail() {  # step, why
  junit_failed "$1" "$2"
  junit_end
  exit 1
}

if ! openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 1 -subj "/CN=tamsel throw-away test signer" \
  -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1; then
  cat "$work/openssl.log"
  fail "the test certificate" "openssl failed (log: $work/openssl.log)"
fi

# The archives of one build in $work/NAME, unpacked in $work/NAME/files.
make_dist() {  # name, environment...
  local name=$1
  shift
  if ! (env -u TAMSEL_SIGN_TIMESTAMP -u TAMSEL_SIGN_PKCS11_MODULE -u TAMSEL_SIGN_PKCS11_ENGINE \
    -u TAMSEL_SIGN_PASS_FILE "$@" TAMSEL_DIST_OUT="$work/$name" tools/dist.sh) \
    >"$work/$name.log" 2>&1; then
    tail -n 20 "$work/$name.log"
    fail "make dist ($name)" "tools/dist.sh failed (log: $work/$name.log)"
  fi
  mkdir -p "$work/$name/files"
  for archive in "$work/$name"/*.zip; do
    unzip -q "$archive" -d "$work/$name/files" || fail "make dist ($name)" "unpacking $archive failed"
  done
}
make_dist unsigned -u TAMSEL_SIGN_CERT -u TAMSEL_SIGN_KEY
make_dist signed TAMSEL_SIGN_CERT="$work/cert.pem" TAMSEL_SIGN_KEY="$work/key.pem"

le32() {  # file, offset
  od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '
}

# The Authenticode digest (SHA-256) of a 32-bit PE image: every byte but the
# checksum, the certificate table's directory entry and the table itself,
# padded with zeros to a multiple of eight bytes as signing pads the file.
authenticode_digest() {  # file
  local file=$1 pe end
  pe=$(le32 "$file" 60)
  [ "$(od -An -tx2 -j $((pe + 24)) -N2 "$file" | tr -d ' ')" = 010b ] || return 1
  end=$(le32 "$file" $((pe + 152)))
  [ "$end" -ne 0 ] || end=$(stat -c %s "$file")
  {
    head -c $((pe + 88)) "$file"
    tail -c +$((pe + 93)) "$file" | head -c 60
    tail -c +$((pe + 161)) "$file" | head -c $((end - pe - 160))
    head -c $(((8 - end % 8) % 8)) /dev/zero
  } | sha256sum | cut -d' ' -f1
}

check_image() {  # path inside the archives
  local unsigned=$work/unsigned/files/$1 signed=$work/signed/files/$1 report stated
  [ -f "$signed" ] || { echo "missing from the signed archives"; return; }
  [ "$(le32 "$unsigned" $(($(le32 "$unsigned" 60) + 152)))" -eq 0 ] || { echo "the unsigned build is signed"; return; }
  if ! report=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$signed" 2>&1); then
    echo "the signature does not verify"
    return
  fi
  osslsigncode remove-signature -in "$signed" -out "$signed.removed" >/dev/null 2>&1 ||
    { echo "removing the signature failed"; return; }
  stated=$(sed -n 's/^Current message digest *: *\([0-9A-Fa-f]*\).*/\1/p' <<<"$report" | tr A-F a-f)
  local digest
  digest=$(authenticode_digest "$unsigned") || { echo "not a 32-bit PE image"; return; }
  [ "$stated" = "$digest" ] || { echo "the signature states digest $stated, the unsigned image has $digest"; return; }
  [ "$(authenticode_digest "$signed.removed")" = "$digest" ] ||
    { echo "with its signature removed the image has another digest"; return; }
  rm -f "$signed.removed"
}

images=$(cd "$work/unsigned/files" && find . -type f \( -name '*.dll' -o -name '*.exe' \) | sed 's|^\./||' | LC_ALL=C sort)
[ -n "$images" ] || fail "make dist (unsigned)" "no image in the archives"
for image in $images; do
  problem=$(check_image "$image")
  if [ -z "$problem" ]; then
    junit_passed "$image"
  else
    junit_failed "$image" "$problem"
  fi
done
# A signed module loads as an unsigned one: the signed quarlo_host inspects each
# signed tamsel.dll and prints what the unsigned host printed for the unsigned
# one (a failure where Wine cannot run at all).
inspect() {  # unsigned|signed, module path inside the archives
  QUARLO_HOST_EXE=$(find "$work/$1/files" -path '*/quarlo-host-*/quarlo_host.exe') \
    timeout 300 "$root/tools/quarlo_host" inspect "$work/$1/files/$2" </dev/null 2>&1
}
modules=$(cd "$work/unsigned/files" && find . -path './tamsel-*/tamsel.dll' | sed 's|^\./||' | LC_ALL=C sort)
for module in $modules; do
  name="$module signed loads as unsigned"
  if ! why=$("$root/tools/wine_session.sh" check 2>&1); then
    junit_failed "$name" "$why"
  elif [ -z "$(find "$work/unsigned/files" -path '*/quarlo-host-*/quarlo_host.exe')" ]; then
    junit_failed "$name" "no quarlo_host.exe in the archives"
  elif ! unsigned_report=$(inspect unsigned "$module"); then
    junit_failed "$name" "unsigned, it does not load: $unsigned_report"
  elif signed_report=$(inspect signed "$module") && [ "$signed_report" = "$unsigned_report" ]; then
    junit_passed "$name"
  else
    junit_failed "$name" "signed, it loads otherwise: $signed_report"
  fi
done

# A signed image changed after signing must not verify: the check above has
# teeth.
first=$(head -n 1 <<<"$images")
cp "$work/signed/files/$first" "$work/tampered"
offset=$(($(le32 "$work/tampered" $(($(le32 "$work/tampered" 60) + 152))) / 2))
byte=$(od -An -tu1 -j "$offset" -N1 "$work/tampered" | tr -d ' ')
printf %b "\\$(printf %03o $((byte ^ 255)))" | dd of="$work/tampered" bs=1 seek="$offset" conv=notrunc status=none
name="$first changed after signing is refused"
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/tampered" >/dev/null 2>&1; then
  junit_failed "$name" "it still verifies"
else
  junit_passed "$name"
fi
junit_end
