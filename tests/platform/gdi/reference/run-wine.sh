#!/bin/sh
# Runs the Windows build of the reference drawings on Wine's GDI, in a fresh prefix of its own, quietly.
# Usage: run-wine.sh <wine> <wineserver> <program.exe> <prefix folder> <output file>
set -eu
wine=$1 wineserver=$2 program=$3 prefix=$4 output=$5

rm -rf "$prefix" "$output"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
unset DISPLAY WAYLAND_DISPLAY
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT

log="$prefix.log"
"$wine" wineboot -i >/dev/null 2>"$log" || { echo "wineboot failed:" >&2; cat "$log" >&2; exit 1; }
# Wine maps the Linux root to drive Z:.
"$wine" "$program" "Z:$output" >/dev/null 2>"$log" || { echo "$program failed:" >&2; cat "$log" >&2; exit 1; }
test -s "$output" || { echo "$program wrote nothing" >&2; exit 1; }
