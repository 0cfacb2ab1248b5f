#!/usr/bin/env bash
# Installs the Debian packages the build and the test suites need. Idempotent:
# it touches apt only when something is missing. Works as root or through sudo.
set -euo pipefail
# shellcheck source=tools/apt_update.sh
. "$(dirname "$0")/apt_update.sh"

packages=(
  cmake make ninja-build g++ clang libclang-rt-14-dev llvm
  libgtest-dev libgmock-dev googletest libbenchmark-dev libpcre2-dev pkg-config
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  clang-19 lld-19 llvm-19
  xvfb x11-utils imagemagick
  clang-format valgrind zip unzip python3-pefile
  osslsigncode openssl
  libcli11-dev nlohmann-json3-dev
)
# The benchmarks compare the GUID detector with Hyperscan, which Debian
# builds for x86-64 only.
if [ "$(dpkg --print-architecture)" = amd64 ]; then
  packages+=(libhyperscan-dev)
fi

# Wine itself, where this kernel runs 32-bit programs.
wine_packages=(wine wine32:i386 fonts-wine)
# Where it runs none, Wine runs in a small virtual
# machine (tools/wine_vm.sh): these build and boot it ...
vm_packages=(debootstrap e2fsprogs)
# ... with a QEMU from bookworm-backports: bookworm's own (7.2) emulates two
# things Wine relies on wrongly, the error code of a software interrupt in
# 64-bit mode (a fail-fast ends as an access violation) and a 32-bit IRET
# under SMAP (Wine's programs fault).
vm_qemu=qemu-system-x86
vm_qemu_min=1:10
# ... and these make up its guest, a Debian 12 of its own.
guest_packages=(
  linux-image-amd64 kmod iproute2 python3 procps
  wine wine32:i386 fonts-wine xvfb x11-utils
)
if [ "${1:-}" = --guest-packages ]; then
  echo "${guest_packages[@]}"
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
updated=0

install_missing() {  # packages...
  local p missing=()
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ "${#missing[@]}" -ne 0 ] || return 0
  echo "install_deps: installing ${missing[*]}"
  if [ "$updated" -eq 0 ]; then
    apt_update "${sudo_cmd[@]}"
    updated=1
  fi
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  apt_update "${sudo_cmd[@]}"
  updated=1
fi
install_qemu() {
  local version
  version=$(dpkg-query -W -f='${Version}' "$vm_qemu" 2>/dev/null || true)
  if [ -n "$version" ] && dpkg --compare-versions "$version" ge "$vm_qemu_min"; then return 0; fi
  if ! apt-cache policy "$vm_qemu" | grep -q bookworm-backports; then
    if ! grep -rqs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d; then
      echo "install_deps: adding bookworm-backports to apt's sources, for $vm_qemu"
      echo 'deb http://deb.debian.org/debian bookworm-backports main' |
        "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
    fi
    apt_update "${sudo_cmd[@]}"
  fi
  echo "install_deps: installing $vm_qemu from bookworm-backports"
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends -t bookworm-backports "$vm_qemu"
}

install_missing "${packages[@]}"
"$(dirname "$0")/wine_headers.sh"

# Whether this kernel runs 32-bit (i386) programs, tried with the smallest
# one there is: an ELF image whose code is exit(0) through int 0x80.
runs_32bit() {
  local probe status=0
  probe=$(mktemp)
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0'\
'\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10'\
'\135\0\0\0\135\0\0\0\5\0\0\0\0\20\0\0\270\1\0\0\0\61\333\315\200' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  return "$status"
}

# Wine under this kernel; elsewhere the virtual machine's packages instead
# (its guest installs Wine from its own Debian, consistent in itself: the
# host's i386 packages must match the versions of its amd64 ones, which a
# mirror in the middle of a sync may not serve).
if runs_32bit; then
  install_missing "${wine_packages[@]}"
else
  install_missing "${vm_packages[@]}"
  install_qemu
fi
