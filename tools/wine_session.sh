#!/usr/bin/env bash
# Prepares Wine for the tests and the demo: one 32-bit prefix (created once),
# a display (Xvfb when none is given), a persistent wineserver so every later
# Wine start is fast, and Wine's own daemons already running.
#
#   tools/wine_session.sh how      prints how Wine runs here: native, vm-kvm
#                                  or vm-tcg (below)
#   tools/wine_session.sh check    exits 0 when Wine can run here one way or
#                                  the other, else says why and exits 1
#   tools/wine_session.sh start    starts the session; writes build/wine/env,
#                                  which wine_exec.sh reads
#   tools/wine_session.sh exec CMD runs a Linux command where Wine runs
#   tools/wine_session.sh stop     ends what start began
#
# Wine runs 32-bit Windows programs as 32-bit Linux processes. Some kernels run
# 64-bit user code only: there every i386 program fails with "Exec format
# error", Wine's loader and server included, and the session runs in a small
# virtual machine instead (tools/wine_vm.sh), with KVM where it serves (vm-kvm)
# and under full emulation otherwise (vm-tcg). TAMSEL_WINE=vm chooses the
# virtual machine where Wine would run natively.
set -Eeuo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
state="$root/build/wine"
envfile="$state/env"
prefix="${TAMSEL_WINEPREFIX:-$state/prefix}"
log="$state/session.log"
loader="${TAMSEL_I386_LOADER:-/lib/ld-linux.so.2}"
# A step that fails says so (a function that returns failure has said why).
trap '[[ $BASH_COMMAND == return* ]] || echo "wine_session: \"$BASH_COMMAND\" failed (log: $log)" >&2' ERR

wine_env() {
  export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}

how() {
  if [ "${TAMSEL_WINE:-}" != vm ] && "$loader" --version >/dev/null 2>&1; then
    echo native
  else
    echo "vm-$("$root/tools/wine_vm.sh" accel)"
  fi
}

check() {
  [ "$(how)" = native ] && return 0
  local tool missing=()
  for tool in qemu-system-x86_64 debootstrap mke2fs; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  echo "wine_session: this kernel does not run 32-bit (i386) programs, and the virtual machine" \
    "that runs Wine instead needs ${missing[*]} (tools/install_deps.sh installs them)" >&2
  return 1
}

display_alive() {
  [ -n "${1:-}" ] && xdpyinfo -display "$1" >/dev/null 2>&1
}

start_xvfb() {
  local n
  for n in $(seq 91 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp </dev/null >"$state/xvfb.log" 2>&1 &
      local pid=$!
      echo "$pid" >"$state/xvfb.pid"
      for _ in $(seq 300); do
        if display_alive ":$n"; then echo ":$n"; return 0; fi
        # Another server took the number first: try the next one.
        kill -0 "$pid" 2>/dev/null || continue 2
        sleep 0.1
      done
      # Too slow to answer: end it rather than leave it holding the number.
      kill "$pid" 2>/dev/null || true
    fi
  done
  echo "wine_session: could not start Xvfb" >&2
  return 1
}

# Wine starts its desktop (explorer.exe /desktop) and its services (rpcss
# among them) on demand, as children of the first program that needs them,
# and they keep that program's standard error for as long as they live: a
# test's output pipe would never close. Started here, they hold the
# session's log instead. (Any run of wine, even `reg add`, starts services.exe
# with the services it starts at once.)
start_daemons() {
  wine explorer.exe /desktop </dev/null >>"$log" 2>&1 &
  # (It fails when services.exe has started rpcss already: that is fine.)
  wine net start rpcss </dev/null >>"$log" 2>&1 || true
}

start_native() {
  mkdir -p "$state"
  wine_env
  local display="${DISPLAY:-}"
  if [ -f "$envfile" ]; then
    # Reuse a display that an earlier start left running.
    local old
    old=$(sed -n 's/^DISPLAY=//p' "$envfile")
    if display_alive "$old"; then display="$old"; fi
  fi
  if ! display_alive "$display"; then display=$(start_xvfb); fi
  export DISPLAY="$display"
  # A prefix whose registry a crash left empty is made anew.
  if [ ! -s "$prefix/system.reg" ]; then
    rm -rf "$prefix"
    # Under full emulation on a loaded machine, the first boot of a prefix was
    # seen to end with an error after it had made the prefix (the cause is not
    # known). What counts is the prefix once every Wine process has ended; a
    # second boot mends what the first left undone. Wine's errors go to the log.
    local status=0
    WINEDEBUG=err+all wineboot -i >"$state/wineboot.log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
      echo "wine_session: wineboot -i ended with status $status; booting once more" >>"$state/wineboot.log"
      wineserver -w
      WINEDEBUG=err+all wineboot -u >>"$state/wineboot.log" 2>&1
    fi
    wineserver -w
    [ -s "$prefix/system.reg" ]
    # A crash must end the process with an error, never wait on a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      >/dev/null 2>&1
    wineserver -w
  fi
  # Daemons must not hold the caller's output open (a pipe would never end).
  # (It fails when the prefix's server already runs persistently: that is fine.)
  wineserver -p </dev/null >/dev/null 2>&1 || true
  # Wine places and draws every window itself: without a window manager (as
  # under Xvfb) waiting for one costs a second each time a window shows or hides.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$log" 2>&1
  start_daemons
  cat >"$envfile" <<ENV
DISPLAY=$display
WINEPREFIX=$prefix
ENV
}

stop_native() {
  wine_env
  wineserver -k 2>/dev/null || true
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid"
  fi
}

start() {
  check
  if [ "$(how)" = native ]; then
    start_native
  else
    "$root/tools/wine_vm.sh" start
    if ! "$root/tools/wine_vm.sh" exec "$root/tools/wine_session.sh" start; then
      echo "wine_session: Wine did not start in the virtual machine (log: $log)" >&2
      return 1
    fi
  fi
}

stop() {
  if [ "$(how)" = native ]; then
    stop_native
  else
    # Wine ends first, and what it saved (the prefix's registry) reaches the
    # host before the guest is powered off.
    ! "$root/tools/wine_vm.sh" running ||
      "$root/tools/wine_vm.sh" exec "$root/tools/wine_session.sh" stop || true
    "$root/tools/wine_vm.sh" stop
  fi
  rm -f "$envfile"
}

exec_where_wine_runs() {
  if [ "$(how)" = native ]; then
    exec "$@"
  fi
  "$root/tools/wine_vm.sh" running || start
  exec "$root/tools/wine_vm.sh" exec "$@"
}

case "${1:-}" in
how | check | start | stop) "$1" ;;
exec)
  shift
  exec_where_wine_runs "$@"
  ;;
*)
  echo "usage: $0 how|check|start|exec CMD...|stop" >&2
  exit 2
  ;;
esac
