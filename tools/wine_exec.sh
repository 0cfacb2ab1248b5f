#!/usr/bin/env bash
# Runs a Windows program under Wine with the environment wine_session.sh set up
# (starting that session first when there is none).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
envfile="$root/build/wine/env"
[ -f "$envfile" ] || "$root/tools/wine_session.sh" start
set -a
# shellcheck source=/dev/null
. "$envfile"
set +a
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
exec wine "$@"
