#!/bin/bash
# other_prefix_test.sh WINE DPI PROGRAM [ARG...]
#
# PROGRAM under WINE in $WINEPREFIX (wineprefix-other, no control
# registered) with the display at DPI dots per inch (96 is 100 %, 144 150 %,
# 192 200 %): HKCU\Control Panel\Desktop LogPixels, read as Wine's server
# starts, so a change stops the server first. With DRAVEL_LONE=FILE, FILE is
# copied alone into a new folder that DRAVEL_LONE_EXE names (Z:\...).
set -euo pipefail
wine=$1 dpi=$2
shift 2
: "${WINEPREFIX:?WINEPREFIX names the second test prefix}"
wineserver=$(dirname "$wine")/wineserver
key='HKCU\Control Panel\Desktop'
now=$("$wine" reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' | awk '$1 == "LogPixels" { print $3 }') || true
if [ "$((${now:-96}))" != "$dpi" ]; then
    "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
    "$wineserver" -k || true
    "$wineserver" -w || true
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "${DRAVEL_LONE:-}" ]; then
    cp "$DRAVEL_LONE" "$work/"
    lone="Z:$work/$(basename "$DRAVEL_LONE")"
    export DRAVEL_LONE_EXE=${lone//\//\\}
fi
echo "the display of $WINEPREFIX at $dpi dpi"
"$wine" "$@"
