#!/usr/bin/env bash
# The demonstration (`make demo`, after the windows preset is built, which
# builds windows-msvc first): the Microsoft-ABI module as the host sees it,
# then the lookup command worked through its dialog on the sample services,
# with a picture of the open dialog saved to docs/dialog.png, and one of the
# host's window with the module loaded to docs/host_window.png.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bin="${TAMSEL_BIN:-build/windows-msvc/bin}"
export QUARLO_HOST_EXE="${QUARLO_HOST_EXE:-build/windows/bin/quarlo_host.exe}"
services=quarlo_host/samples/services.txt
text='Which service is {8D116ECE-1738-47D9-BD9C-172411E20B8F}?'
picture_dir=build/demo
mkdir -p "$picture_dir" docs

echo "== quarlo_host inspect $bin/tamsel.dll"
tools/quarlo_host inspect "$bin/tamsel.dll"

echo
echo "== quarlo_host lookup $bin/tamsel.dll --services $services --text '$text' --update"
tools/quarlo_host lookup "$bin/tamsel.dll" --services "$services" --text "$text" --update \
  --screenshot "$picture_dir/dialog.bmp"

# Without metadata that changes from run to run, so an unchanged dialog gives
# an unchanged file.
convert "$picture_dir/dialog.bmp" -strip -define png:exclude-chunks=date,time docs/dialog.png
echo
echo "== the open dialog: docs/dialog.png"

echo
echo "== quarlo_host run $bin/tamsel.dll --services $services: the host window, docs/host_window.png"
tools/quarlo_host run "$bin/tamsel.dll" --services "$services" --screenshot "$picture_dir/host_window.bmp"
convert "$picture_dir/host_window.bmp" -strip -define png:exclude-chunks=date,time docs/host_window.png
