#!/bin/sh
# Runs a Windows program under 32-bit Wine for quarlo_check on a Linux machine
# such as a CI runner: in the Wine prefix WINEPREFIX names (made on first use,
# 32-bit, without Wine's downloads of Mono and Gecko), and on a display of its
# own (Xvfb) when DISPLAY names none. Needs wine32 and xvfb.
#   WINEPREFIX=DIR quarlo_check_wine.sh PROGRAM.exe ARGS...
# Exits with the program's status, or 2 when Wine cannot run here.
set -u
if [ -z "${WINEPREFIX:-}" ]; then
  echo "quarlo_check_wine.sh: WINEPREFIX is not set (quarlo_check sets it for its tests)" >&2
  exit 2
fi
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$(dirname "$WINEPREFIX")"

xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  if ! command -v Xvfb >/dev/null 2>&1; then
    echo "quarlo_check_wine.sh: no display, and no Xvfb to make one (install xvfb)" >&2
    exit 2
  fi
  # Xvfb takes a display number no other server holds, and says which once
  # it serves it: tests that start together never share one.
  rm -f "$WINEPREFIX.display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$WINEPREFIX.display" \
    </dev/null >"$WINEPREFIX.xvfb.log" 2>&1 &
  xvfb_pid=$!
  tries=0
  until grep -q '^[0-9][0-9]*$' "$WINEPREFIX.display" 2>/dev/null; do
    tries=$((tries + 1))
    if [ "$tries" -gt 300 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
      echo "quarlo_check_wine.sh: Xvfb did not start (log: $WINEPREFIX.xvfb.log)" >&2
      exit 2
    fi
    sleep 0.1
  done
  export DISPLAY=":$(cat "$WINEPREFIX.display")"
  trap 'kill "$xvfb_pid" 2>/dev/null' EXIT
fi

# A prefix is booted once per folder of prefixes (.template beside them), and
# each new prefix starts as a copy of it: a boot costs seconds, and minutes
# on a slow machine. Wine's own output goes to a log beside it, and its
# programs wait on no dialog for a crash. On a slow, loaded machine the first
# boot was seen to fail after it had made most of the prefix: a second boot
# completes it.
boot() {  # prefix
  (
    export WINEPREFIX="$1"
    rm -rf "$WINEPREFIX"
    wineboot -i || { wineserver -w; wineboot -u; }
    wineserver -w
  ) </dev/null >"$1.log" 2>&1
  [ -s "$1/user.reg" ] || return 1
  # Written while no Wine server runs: the registry is plain text then.
  printf '\n[Software\\\\Wine\\\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n' >>"$1/user.reg"
}
if [ ! -s "$WINEPREFIX/system.reg" ]; then
  template=$(dirname "$WINEPREFIX")/.template
  # One boot at a time: tests that start together wait for the first.
  exec 9>"$template.lock"
  flock 9
  if [ ! -s "$template/system.reg" ] && ! boot "$template"; then
    echo "quarlo_check_wine.sh: cannot make the Wine prefix $template (log: $template.log)" >&2
    exit 2
  fi
  flock -u 9
  exec 9>&-
  rm -rf "$WINEPREFIX"
  cp -a "$template" "$WINEPREFIX"
fi
wine "$@"
status=$?
# Wine's desktop and services, started for the program, end with it.
wineserver -k 2>/dev/null
exit "$status"
