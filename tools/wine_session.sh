#!/usr/bin/env bash
# Prepares Wine for the tests and the demo: one 32-bit prefix (created once),
# a display (Xvfb when none is given), and a persistent wineserver so every
# later Wine start is fast. `start` writes build/wine/env, which wine_exec.sh
# reads; `stop` ends what `start` began. `check` exits 0 when Wine can run
# here, else says why and exits 1.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
state="$root/build/wine"
envfile="$state/env"
prefix="${TAMSEL_WINEPREFIX:-$state/prefix}"

wine_env() {
  export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}

# Wine runs 32-bit Windows programs as 32-bit Linux processes. Some kernels
# run 64-bit user code only: there every i386 program fails with "Exec format
# error", Wine's loader and server included.
check() {
  if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "wine_session: this kernel does not run 32-bit (i386) programs, so 32-bit Wine cannot run here" >&2
    return 1
  fi
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

start() {
  check
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
  if [ ! -f "$prefix/system.reg" ]; then
    wineboot -i >"$state/wineboot.log" 2>&1
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
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  cat >"$envfile" <<ENV
DISPLAY=$display
WINEPREFIX=$prefix
ENV
}

stop() {
  wine_env
  wineserver -k 2>/dev/null || true
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid"
  fi
  rm -f "$envfile"
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  check) check ;;
  *) echo "usage: $0 start|stop|check" >&2; exit 2 ;;
esac
