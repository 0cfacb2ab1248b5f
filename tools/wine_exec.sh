#!/usr/bin/env bash
# Runs a Windows program under Wine with the environment wine_session.sh set up
# (starting that session first when there is none), where Wine runs: here, or
# in the Wine virtual machine, which sees this tree at the same path. The
# program's output passes through tools/output_relay.py, so it closes when the
# program ends, whatever Wine started that lives on.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if [ "$("$root/tools/wine_session.sh" how)" != native ]; then
  exec "$root/tools/wine_session.sh" exec "$root/tools/wine_exec.sh" "$@"
fi
envfile="$root/build/wine/env"
[ -f "$envfile" ] || "$root/tools/wine_session.sh" start
set -a
# shellcheck source=/dev/null
. "$envfile"
set +a
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
exec /usr/bin/python3 "$root/tools/output_relay.py" wine "$@"
