#!/usr/bin/env bash
# The main job against the simulated card: the configuration tool searches
# COM1 to COM8 for a simulated card and configures it; then palvex drives
# cardsim over a pseudo-terminal (mapped to COM3) and over TCP, shows a frame
# built in capture mode, and loads a font library and a picture page into a
# simulated screen with palvex's jobs.
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
echo "-- palvex ports: COM3 comes from the environment here; adapters plugged in get numbers of their own"
"$PALVEX" ports || true
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

echo
echo "== a font library, a picture, Chinese text and a line on a simulated 256 x 96 screen"
echo "   (COM4, 57600 bit/s; the card answers 5 ms late, so the jobs take a moment)"
FONT=$BUILD/sim/hzlib16.bin
SCREEN=$BUILD/demo-screen.png
PREVIEW=$BUILD/demo-preview.png
"$CARDSIM" --pty "$work/com4" --card 1 --baud 57600 --width 256 --height 96 --delay 5 \
    --snapshot "$SCREEN" >"$work/screen.log" &
screen_pid=$!
for _ in $(seq 100); do grep -q 'on pty' "$work/screen.log" 2>/dev/null && break; sleep 0.05; done
export PALVEX_COM4=$work/com4
LINK=(--com 4 --baud 57600 --card 1 --width 256 --height 96)

echo "-- preview: the picture as the card will show it, without a card"
"$PALVEX" --width 256 --height 96 preview scripts/demo-picture.png -o "$PREVIEW"

echo "-- send-font, stopped with SIGTERM half-way, then resumed where it stopped"
"$PALVEX" "${LINK[@]}" send-font "$FONT" 2> >(tee "$work/font.err" >&2) &
font_pid=$!
sleep 0.5
kill "$font_pid"
status=0
wait "$font_pid" || status=$?
sleep 0.1 # tee passes on the last lines
echo "  (exit status $status)"
from=$(sed -n 's/.*resume with --from \([0-9]*\).*/\1/p' "$work/font.err")
"$PALVEX" "${LINK[@]}" --from "${from:-0}" send-font "$FONT"

echo "-- send-picture: every step of page 0"
"$PALVEX" "${LINK[@]}" send-picture scripts/demo-picture.png --page 0
sleep 0.2 # the card writes its snapshot once the line goes quiet
if cmp -s "$PREVIEW" "$SCREEN"; then
    echo "  the card's screen is the preview: $PREVIEW"
else
    echo "  the card's screen differs from the preview $PREVIEW" >&2
    exit 1
fi

echo "-- text and a line over the picture"
"$PALVEX" ComInitial 4 57600 1000 : SetLedProperty 1 256 96 : ShowString 0 8 72 3 "欢迎" \
    : ShowString 0 56 72 7 "中文通讯屏" : Line 0 0 92 255 92 2 : QKClose
sleep 0.2 # the card writes its snapshot once the line goes quiet
kill "$screen_pid" && wait "$screen_pid" 2>/dev/null || true
echo "  the card's screen: $SCREEN"

echo "== a card behind a pair of Hayes modems (simulated modem on COM5)"
"$CARDSIM" --pty "$work/com5" --modem --dial-delay 300 >"$work/modem.log" &
modem_pid=$!
for _ in $(seq 100); do grep -q 'on pty' "$work/modem.log" 2>/dev/null && break; sleep 0.05; done
PALVEX_COM5=$work/com5 "$PALVEX" ModemInitial 5 1000 : SendModemCmd ATD5551234 \
    : SetLedProperty 1 256 64 : QKGetProperty : QKClose
kill "$modem_pid" && wait "$modem_pid" 2>/dev/null || true
