#!/usr/bin/env bash
# Installs the Debian packages the build and the test suites need. Idempotent:
# it touches apt only when something is missing. Works as root or through sudo.
set -euo pipefail

packages=(
  cmake make ninja-build g++ clang libclang-rt-14-dev llvm
  libgtest-dev libgmock-dev googletest libbenchmark-dev libpcre2-dev pkg-config
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  clang-19 lld-19 llvm-19 libwine-dev:i386
  wine wine32:i386 fonts-wine xvfb x11-utils imagemagick
  clang-format valgrind zip unzip python3-pefile
  osslsigncode openssl
  libcli11-dev nlohmann-json3-dev
)
# The benchmarks compare the GUID detector with Hyperscan, which Debian
# builds for x86-64 only.
if [ "$(dpkg --print-architecture)" = amd64 ]; then
  packages+=(libhyperscan-dev)
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

need_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_i386=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "$need_i386" -eq 0 ] && [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "install_deps: installing ${missing[*]}"
if [ "$need_i386" -eq 1 ]; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
