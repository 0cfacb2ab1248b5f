#!/usr/bin/env bash
# Wine's Windows and C runtime headers, which the Microsoft-ABI build compiles
# against, unpacked from Debian's libwine-dev:i386 into /usr/local/lib/tamsel
# rather than installed: installing it drags in the i386 C library's
# development files, whose versions must match the host's amd64 ones exactly,
# and a mirror in the middle of a sync may not serve them. One place outside
# the tree, so every copy of the tree (the reproducibility test builds two)
# compiles against the same files at the same path. Idempotent.
set -euo pipefail
dest=/usr/local/lib/tamsel/libwine-dev
[ -f "$dest/usr/include/wine/wine/windows/windows.h" ] && exit 0
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
(cd "$work" && apt-get download -q libwine-dev:i386)
"${sudo_cmd[@]}" rm -rf "$dest"
"${sudo_cmd[@]}" mkdir -p "$dest"
"${sudo_cmd[@]}" dpkg-deb -x "$work"/libwine-dev_*.deb "$dest"
echo "wine_headers: Wine's headers unpacked into $dest"
