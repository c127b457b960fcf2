#!/usr/bin/env bash
# The main job against the simulated card: the configuration tool searches
# COM1 to COM8 for a simulated card and configures it; then palvex drives
# cardsim over a pseudo-terminal (mapped to COM3) and over TCP, and shows a
# frame built in capture mode.
set -euo pipefail
BUILD=${1:-build}
CARDSIM=$BUILD/sim/cardsim
PALVEX=$BUILD/cli/palvex
DRAVEL=$BUILD/tool/dravel

# Settings the tool remembers stay with this run.
export XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT

echo "== dravel: search for a card on COM1 to COM8 (simulated card on COM3)"
"$DRAVEL" search --simulate --verbose </dev/null
echo
echo "== dravel: configure it as 512 x 64, 8 x 4 modules, data inverted"
"$DRAVEL" configure --simulate --width 512 --height 64 --module 8x4 --wiring data-invert </dev/null
"$DRAVEL" settings
echo

work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work" "$XDG_CONFIG_HOME"
}
trap cleanup EXIT

"$CARDSIM" --pty "$work/com3" --tcp 0 --card 1 --baud 9600 --width 256 --height 64 >"$work/sim.log" &
sim_pid=$!
for _ in $(seq 100); do
    grep -q 'on tcp' "$work/sim.log" 2>/dev/null && grep -q 'on pty' "$work/sim.log" && break
    sleep 0.05
done
cat "$work/sim.log"
port=$(sed -n 's/.*on tcp 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.log")
[ -n "$port" ] || { echo "demo: cardsim did not start" >&2; exit 1; }

describe() { # the property text as a person reads it
    local t=$1
    [ ${#t} -ge 24 ] || return 0
    local w=$((16#${t:16:3})) h=$((16#${t:19:3})) f=${t:22:2}
    local kind="unknown card"
    [ "${t:0:5}" = DDDD7 ] && kind="D-type card"
    echo "  found: $kind, version ${t:5:1}.${t:6:2}, made ${t:8:4}-${t:12:2}-${t:14:2}, screen ${w} x ${h}, flags 0x$f"
}

echo
echo "== serial: COM3 -> $work/com3 at 9600 bit/s"
export PALVEX_COM3=$work/com3
out=$("$PALVEX" ComInitial 3 9600 1000 : SetLedProperty 1 256 64 : QKGetProperty : GetVersion \
    : QKSetProperty 20004081 : QKGetProperty : QKClose)
echo "$out"
while read -r text; do describe "$text"; done < <(sed -n 's/^QKGetProperty true "\(.*\)"$/\1/p' <<<"$out")

echo
echo "== network: 127.0.0.1:$port"
out=$("$PALVEX" NetInitial 0 127.0.0.1 "$port" 1000 : SetLedProperty 1 512 64 : QKGetProperty : QKClose)
echo "$out"
while read -r text; do describe "$text"; done < <(sed -n 's/^QKGetProperty true "\(.*\)"$/\1/p' <<<"$out")

echo
echo "== capture mode, no link: the frame that configures 512 x 64, flags 0x81, for card 1"
"$PALVEX" SetSendFlag 0 : SetLedProperty 1 256 64 : QKSetProperty 20004081 : GetSendString
