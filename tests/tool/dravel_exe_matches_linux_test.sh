#!/bin/bash
# dravel_exe_matches_linux_test.sh WINE DRAVEL_EXE LINUX_DRAVEL CARDSIM
#
# dravel.exe under Wine against the Linux dravel. The card is a simulated
# card on COM3 of the Wine prefix ($WINEPREFIX), which is also the Linux
# dravel's PALVEX_COM3; the other seven ports are absent for both.
# - --help, --version, wrong usage, settings and a search without a card print the same
#   standard output, byte for byte, with the same exit status; dravel.exe
#   runs with no console here, so it writes the UTF-8 text itself;
# - dravel.exe force writes the card at 38400 bit/s (the Linux dravel then
#   finds it with today's production date) and REG_SZ values under
#   HKCU\Software\Tavrin\Sarnow; dravel.exe refuses --simulate;
# - a search with the card prints what the Linux search prints, and
#   dravel.exe configure writes the card, which both programs read back.
#   Wine sets a pty's speed through the classic termios constants, which have
#   no 28800 or 14400: the control refuses 28800 on COM3, and the search goes
#   on at the port's next speed, 38400, where the card is. (At the card's
#   usual 9600 every search would first wait out 38400 and 57600 with no
#   answer; the dialog tests search that way, dravel_card_dialogs_tests.)
set -uo pipefail
wine=$1 exe=$2 linux=$3 cardsim=$4
: "${WINEPREFIX:?WINEPREFIX names the test prefix}"
# shellcheck source=../link/wine_com3_card.sh
source "$(dirname "$0")/../link/wine_com3_card.sh"
# shellcheck source=../wine_compare.sh
source "$(dirname "$0")/../wine_compare.sh"

work=$(mktemp -d)
cleanup() {
    stop_com3_card
    rm -rf "$work"
}
trap cleanup EXIT

settings_key='HKCU\Software\Tavrin\Sarnow'
linux_ports=()
for n in 1 2 4 5 6 7 8; do linux_ports+=("PALVEX_COM$n=$work/absent-COM$n"); done
run_linux() {
    env XDG_CONFIG_HOME="$work/config" PALVEX_COM3="$card_pty_link" "${linux_ports[@]}" \
        "$linux" "$@" </dev/null >"$work/linux.out" 2>"$work/linux.err"
    linux_status=$?
}
# Wine hands dravel.exe its words as UTF-8 only in a UTF-8 locale.
run_windows() {
    env LANG=C.UTF-8 LC_ALL=C.UTF-8 "$wine" "$exe" "$@" </dev/null >"$work/win.out" \
        2>"$work/win.err"
    win_status=$?
}
check() { # check NAME WORDS...
    local name=$1
    shift
    run_linux "$@"
    run_windows "$@"
    same_as_linux "$name" "status $win_status: $(head -c 200 "$work/win.out" | tr '\n' '|')"
}

# Nothing remembered yet on either side.
"$wine" reg delete 'HKCU\Software\Tavrin' /f >/dev/null 2>&1

check "--help" --help
check "--version" --version
check "an unknown command" frobnicate
check "a width out of range" configure --width 9
check "settings before any card" settings

run_windows search --yes --simulate
if [ "$win_status" != 1 ] || ! grep -q "available on Linux only" "$work/win.err"; then
    fail "--simulate: status $win_status, $(head -c 300 "$work/win.err")"
else
    echo "ok: --simulate refused"
fi

# No card: every port absent on both sides, the search ends at once.
linux_ports+=("PALVEX_COM3=$work/absent-COM3")
check "search without a card" search --yes --screen 1
unset 'linux_ports[-1]'

start_com3_card "$cardsim" "$work" --card 1 --baud 38400 || exit 1

# The forced configuration needs no search: COM3 at 38400 bit/s.
check "force writes the card" force --yes --port 3 --baud 38400 --number 1 --password tavrinqk
[ "$(cat "$work/win.out")" = "配置成功!" ] || fail "force: $(cat "$work/win.out" "$work/win.err")"
# The password read from standard input: the right word writes the card, a
# wrong one ends the command silently with status 1.
for answer in "tavrinqk 0 配置成功!" "tavrinqx 1 "; do
    read -r word status text <<<"$answer"
    printf '%s\n' "$word" | env LANG=C.UTF-8 LC_ALL=C.UTF-8 "$wine" "$exe" force --port 3 \
        --baud 38400 --number 1 >"$work/win.out" 2>"$work/win.err"
    win_status=$?
    [ "$win_status" = "$status" ] && [ "$(cat "$work/win.out")" = "$text" ] ||
        fail "force, password $word on standard input: status $win_status, $(cat "$work/win.out")"
done
"$wine" reg query "$settings_key" >"$work/reg.out" 2>&1
check_registry() { # check_registry "NAME VALUE"...
    local value name number
    for value in "$@"; do
        name=${value% *} number=${value#* }
        grep -Eq "^ *$name +REG_SZ +$number"$'\r'"?$" "$work/reg.out" ||
            fail "registry: no $name REG_SZ $number in: $(tr -d '\r' <"$work/reg.out")"
    done
}
check_registry "Number 1" "CommPort 3" "BaudRate 38400" "Version 112" "Width 256" "Height 64" \
    "Color 0"
run_linux search --yes --screen 1
today=$(date +%Y年%m月%d日)
grep -q "在串口Com3(波特率:38400) 找到 D型 2.00 版通讯屏控制卡 生产日期:$today" "$work/linux.out" ||
    fail "the Linux dravel does not find the forced card: $(cat "$work/linux.out")"

# The search and the configuration through dravel.exe.
check "search finds the card on COM3" search --yes --screen 1
grep -q "在串口Com3(波特率:38400)" "$work/win.out" || fail "search: $(cat "$work/win.out")"
check "settings after the search" settings
run_windows configure --yes --screen 1 --width 128 --height 32 --module 8x4 \
    --wiring left-to-right,data-invert
[ "$win_status" = 0 ] && [ "$(tail -n 1 "$work/win.out")" = "配置成功!" ] ||
    fail "configure: status $win_status, $(cat "$work/win.out" "$work/win.err")"
expected="width=128 height=32 module=8x4 wiring=left-to-right,data-invert"
run_windows search --yes --screen 1 --verbose
grep -qx "$expected" "$work/win.out" || fail "dravel.exe reads: $(grep width= "$work/win.out")"
run_linux search --yes --screen 1 --verbose
grep -qx "$expected" "$work/linux.out" || fail "dravel reads: $(grep width= "$work/linux.out")"
"$wine" reg query "$settings_key" >"$work/reg.out" 2>&1
check_registry "Number 1" "CommPort 3" "BaudRate 38400" "Width 128" "Height 32" "Color 1"

finish "dravel.exe printed what the Linux dravel printed and wrote the card and the registry"
