#!/bin/bash
# The Wine virtual machine's first process (tools/wine_vm.sh builds it into
# the guest's image). It mounts what a system needs, the host's project tree
# where the host has it (tamsel.tree= on the kernel's command line, a 9p share
# named "tree"), brings up the network that carries the host's commands, and
# serves them (tools/wine_vm/vm_exec.py from the shared tree). As the first
# process it also reaps every orphan, Wine's daemons among them, and it powers
# the machine off when the server ends.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/root

poweroff() {
  echo o >/proc/sysrq-trigger
  sleep infinity
}

mount -t proc proc /proc
mount -t sysfs sysfs /sys 2>/dev/null
mount -t devtmpfs devtmpfs /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
hostname tamsel-vm

tree=$(sed -n 's/.*tamsel\.tree=\([^ ]*\).*/\1/p' /proc/cmdline)
modprobe -a virtio_net 9pnet_virtio 9p
mkdir -p "$tree"
# With the page cache (cache=loose): without it, Wine's reads of a program's
# sections come back short and the program runs into zeros. tools/wine_vm/
# vm_exec.py keeps the cache in step with the host around each command.
if ! mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose tree "$tree"; then
  echo "tamsel-init: cannot mount the project's tree at $tree" >&2
  poweroff
fi

ip link set lo up
ip link set eth0 up
ip addr add 10.0.2.15/24 dev eth0
ip route add default via 10.0.2.2

python3 "$tree/tools/wine_vm/vm_exec.py" serve 7000 "$tree/build/vm/run/token" --cached-tree \
  </dev/null >/dev/console 2>&1 &
server=$!
echo "tamsel-init: ready"
# Waiting reaps every child, also those orphaned to this process.
wait "$server"
echo "tamsel-init: the command server ended" >&2
poweroff
