#!/usr/bin/env bash
# A small Debian 12 virtual machine that runs Wine for the tests where this
# machine's kernel runs no 32-bit programs. The guest mounts the project's
# tree where the host has it, so the Windows programs built here run there
# from the same paths; tools/wine_exec.sh sends each Wine run to it.
#
#   tools/wine_vm.sh accel       prints how the guest runs: kvm (hardware
#                                virtualisation) or tcg (full emulation)
#   tools/wine_vm.sh image       builds the guest (a kernel and a root file
#                                system made with debootstrap, from Debian's
#                                packages) under build/vm/, unless built from
#                                the same recipe already
#   tools/wine_vm.sh start       builds the guest if needed and boots it
#                                (under full emulation when KVM cannot)
#   tools/wine_vm.sh running     exits 0 when the guest is up
#   tools/wine_vm.sh exec CMD..  runs CMD in the guest, in this folder
#   tools/wine_vm.sh stop        powers the guest off
#
# The guest's disk is used as a snapshot: nothing a run writes to it stays.
# TAMSEL_VM_ACCEL=kvm|tcg chooses the accelerator; TAMSEL_VM_MIRROR the
# Debian mirror (http://deb.debian.org/debian).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
vm="$root/build/vm"
run="$vm/run"
mirror="${TAMSEL_VM_MIRROR:-http://deb.debian.org/debian}"
kvm_device="${TAMSEL_KVM_DEVICE:-/dev/kvm}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
# Debian's own Python: it starts at once, where a shim first on PATH may not.
python=/usr/bin/python3
# shellcheck source=tools/apt_update.sh
. "$root/tools/apt_update.sh"

# KVM serves when its device opens and creates a virtual machine. A running
# guest tells how it was started.
accel() {
  if running; then
    cat "$run/accel"
  elif [ -n "${TAMSEL_VM_ACCEL:-}" ]; then
    echo "$TAMSEL_VM_ACCEL"
  elif "$python" - "$kvm_device" 2>/dev/null <<'PY'; then
import fcntl, os, sys
fd = os.open(sys.argv[1], os.O_RDWR | os.O_CLOEXEC)
assert fcntl.ioctl(fd, 0xAE00, 0) == 12  # KVM_GET_API_VERSION
os.close(fcntl.ioctl(fd, 0xAE01, 0))     # KVM_CREATE_VM
PY
    echo kvm
  else
    echo tcg
  fi
}

# The recipe of the guest: what a change to it invalidates.
packages() {
  "$root/tools/install_deps.sh" --guest-packages
}

recipe() {
  { packages; declare -f build_rootfs; cat "$root/tools/wine_vm/guest_init.sh"; } | sha256sum | cut -c1-16
}

in_chroot() {
  "${sudo_cmd[@]}" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive chroot "$1" "${@:2}"
}

# debootstrap's minimal base, then apt for the rest (much faster than
# debootstrap's own installs), with an initramfs that holds just what finds
# the root disk. Downloaded packages are kept in build/vm/debs.
build_rootfs() {
  local fs=$1
  mkdir -p "$vm/debs"
  "${sudo_cmd[@]}" debootstrap --variant=minbase --cache-dir="$vm/debs" bookworm "$fs" "$mirror"
  # The release and its updates: the guest runs nothing but Wine for the
  # tests, with no way out of its own network.
  "${sudo_cmd[@]}" tee "$fs/etc/apt/sources.list" >/dev/null <<LIST
deb $mirror bookworm main
deb $mirror bookworm-updates main
LIST
  "${sudo_cmd[@]}" cp /etc/resolv.conf "$fs/etc/resolv.conf"
  "${sudo_cmd[@]}" mkdir -p "$fs/etc/initramfs-tools/conf.d"
  echo MODULES=list | "${sudo_cmd[@]}" tee "$fs/etc/initramfs-tools/conf.d/tamsel" >/dev/null
  printf '%s\n' virtio_pci virtio_blk ext4 | "${sudo_cmd[@]}" tee -a "$fs/etc/initramfs-tools/modules" >/dev/null
  "${sudo_cmd[@]}" find "$vm/debs" -name '*.deb' -exec cp -l -t "$fs/var/cache/apt/archives" {} +
  "${sudo_cmd[@]}" mount -t proc proc "$fs/proc"
  local status=0
  # shellcheck disable=SC2046
  { in_chroot "$fs" dpkg --add-architecture i386 &&
    apt_update in_chroot "$fs" &&
    in_chroot "$fs" apt-get install -y -q --no-install-recommends $(packages); } || status=$?
  "${sudo_cmd[@]}" umount "$fs/proc"
  [ "$status" -eq 0 ] || return "$status"
  "${sudo_cmd[@]}" find "$fs/var/cache/apt/archives" -name '*.deb' -exec mv -t "$vm/debs" {} +
  "${sudo_cmd[@]}" install -m 755 "$root/tools/wine_vm/guest_init.sh" "$fs/sbin/tamsel-init"
}

image() {
  local want
  want=$(recipe)
  if [ -f "$vm/image/recipe" ] && [ "$(cat "$vm/image/recipe")" = "$want" ]; then return 0; fi
  echo "wine_vm: building the guest (debootstrap and apt, a few minutes; log: $vm/image.log)"
  local fs="$vm/rootfs" new="$vm/image.new"
  "${sudo_cmd[@]}" rm -rf "$fs" "$new"
  mkdir -p "$new"
  if ! build_rootfs "$fs" >"$vm/image.log" 2>&1; then
    tail -n 30 "$vm/image.log" >&2
    echo "wine_vm: building the guest failed (log: $vm/image.log)" >&2
    "${sudo_cmd[@]}" umount "$fs/proc" 2>/dev/null || true
    return 1
  fi
  cp "$fs"/boot/vmlinuz-* "$new/vmlinuz"
  "${sudo_cmd[@]}" cat "$fs"/boot/initrd.img-* >"$new/initrd.img"
  "${sudo_cmd[@]}" mke2fs -q -F -t ext4 -L tamsel-vm -d "$fs" "$new/root.img" 6G >/dev/null
  "${sudo_cmd[@]}" chown "$(id -u):$(id -g)" "$new/root.img"
  "${sudo_cmd[@]}" rm -rf "$fs"
  echo "$want" >"$new/recipe"
  rm -rf "$vm/image"
  mv "$new" "$vm/image"
}

running() {
  [ -f "$run/port" ] && [ -f "$run/qemu.pid" ] && kill -0 "$(cat "$run/qemu.pid")" 2>/dev/null
}

free_port() {
  "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start() {
  case $root in
  *[[:space:]]*)
    echo "wine_vm: the guest cannot share a tree whose path holds a blank: $root" >&2
    return 1
    ;;
  esac
  running && return 0
  stop
  image
  local how
  how=$(accel)
  boot "$how" && return 0
  [ "$how" = kvm ] || return 1
  echo "wine_vm: the guest did not come up with KVM; under full emulation instead" >&2
  boot tcg
}

boot() {  # kvm|tcg
  mkdir -p "$run"
  local port
  port=$(free_port)
  (umask 077 && "$python" -c 'import secrets; print(secrets.token_hex(16))' >"$run/token")
  echo "$port" >"$run/port"
  echo "$1" >"$run/accel"
  local accel_opts=(-accel tcg,thread=multi,tb-size=1024 -cpu max)
  [ "$1" = tcg ] || accel_opts=(-accel kvm -cpu host)
  qemu-system-x86_64 "${accel_opts[@]}" -smp "$(nproc)" -m 4096 \
    -display none -no-reboot -nodefaults -serial "file:$run/console.log" \
    -kernel "$vm/image/vmlinuz" -initrd "$vm/image/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 quiet mitigations=off init=/sbin/tamsel-init tamsel.tree=$root" \
    -drive "file=$vm/image/root.img,format=raw,if=virtio,snapshot=on" \
    -netdev "user,id=net,restrict=on,hostfwd=tcp:127.0.0.1:$port-:7000" \
    -device virtio-net-pci,netdev=net \
    -virtfs "local,path=$root,mount_tag=tree,security_model=none,multidevs=remap" \
    -daemonize -pidfile "$run/qemu.pid" || return 1
  local pid waited=0
  pid=$(cat "$run/qemu.pid")
  until "$python" "$root/tools/wine_vm/vm_exec.py" ready "$run" 5; do
    waited=$((waited + 5))
    if ! kill -0 "$pid" 2>/dev/null || [ "$waited" -ge 300 ]; then
      tail -n 30 "$run/console.log" >&2
      echo "wine_vm: the guest did not come up (console: $run/console.log)" >&2
      stop
      return 1
    fi
  done
}

stop() {
  if [ -f "$run/qemu.pid" ]; then
    local pid
    pid=$(cat "$run/qemu.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$run/qemu.pid" "$run/port" "$run/token"
}

case "${1:-}" in
accel | image | running | start | stop) "$1" ;;
exec)
  shift
  exec "$python" "$root/tools/wine_vm/vm_exec.py" run "$run" -- "$@"
  ;;
*)
  echo "usage: $0 accel|image|start|running|exec CMD...|stop" >&2
  exit 2
  ;;
esac
