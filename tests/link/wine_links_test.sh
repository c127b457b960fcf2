#!/bin/bash
# wine_links_test.sh WINE CARDSIM TEST_PROGRAM [gtest options...]
#
# Runs the Windows link tests under Wine against one simulated card: COM3 of
# the Wine prefix ($WINEPREFIX, made by the fixture) is the card's pty, and
# the card listens on a loopback port. No COM link but COM3's is left in the
# prefix, so no test writes to a real port.
set -euo pipefail
wine=$1 cardsim=$2 program=$3
shift 3
: "${WINEPREFIX:?WINEPREFIX names the test prefix}"

pty_link=$WINEPREFIX/palvex-com3 # where the registry points COM3 (wine_prefix.cmake)
work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# 9600 bit/s: Wine sets a pty's speed through the classic termios constants,
# which have no 14400 or 28800.
: >"$work/cardsim.out" # there before the loop below reads it
"$cardsim" --pty "$pty_link" --tcp 0 --baud 9600 >"$work/cardsim.out" 2>&1 &
sim_pid=$!
tcp_port=
for _ in $(seq 100); do
    tcp_port=$(sed -n 's/.* on tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/cardsim.out")
    [ -n "$tcp_port" ] && [ -L "$pty_link" ] && break
    sleep 0.05
done
[ -n "$tcp_port" ] || { echo "FAIL: cardsim did not start:"; cat "$work/cardsim.out"; exit 1; }

# The prefix reserves COM1 to COM255 (wine_prefix.cmake), but Wine gives the
# first serial device of this machine the one number no value can reserve,
# COM256, each time a Wine session starts. Start the session now, then drop
# every COM link but the pty's: the tests open only COM3 and the absent COM9.
"$wine" cmd /c exit
ln -sfn "$pty_link" "$WINEPREFIX/dosdevices/com3"
for link in "$WINEPREFIX"/dosdevices/com*; do
    [ "$(basename "$link")" = com3 ] && continue
    echo "hiding $(basename "$link") -> $(readlink "$link")"
    rm -f "$link"
done
for link in "$WINEPREFIX"/dosdevices/com*; do
    [ "$(basename "$link")" = com3 ] && continue
    [ -e "$link" ] || [ -L "$link" ] || continue
    echo "FAIL: $link -> $(readlink "$link") would reach a port of this machine; not running"
    exit 1
done

PALVEX_TEST_TCP_PORT=$tcp_port "$wine" "$program" "$@"
