#!/usr/bin/env bash
# Wine's Windows and C runtime headers, which the Microsoft-ABI build compiles
# against, unpacked from Debian's libwine-dev:i386 into build/deps/wine
# rather than installed: installing it drags in the i386 C library's
# development files, whose versions must match the host's amd64 ones exactly,
# and a mirror in the middle of a sync may not serve them. Idempotent.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dest="$root/build/deps/wine"
[ -f "$dest/usr/include/wine/wine/windows/windows.h" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
(cd "$work" && apt-get download -q libwine-dev:i386)
rm -rf "$dest"
mkdir -p "$dest"
dpkg-deb -x "$work"/libwine-dev_*.deb "$dest"
echo "wine_headers: Wine's headers unpacked into build/deps/wine"
