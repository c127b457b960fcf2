#!/bin/bash
# palvex_exe_matches_linux_test.sh WINE PALVEX_EXE PALVEX_OCX LINUX_PALVEX CARDSIM
#
# palvex.exe under Wine must print what the Linux palvex prints: the same
# standard output, byte for byte, and the same exit status, for a table of
# command lines (capture-mode frames of many methods, refused lines, --help)
# and for calls on a simulated card over TCP and over COM3. The control is
# the one registered in the Wine prefix ($WINEPREFIX, the fixture
# palvex_ocx_registered); for a moment the test removes the registration and
# palvex.exe makes the control from the Palvex.ocx beside it. The
# registration is put back however the test ends.
set -uo pipefail
wine=$1 exe=$2 ocx=$3 linux=$4 cardsim=$5
: "${WINEPREFIX:?WINEPREFIX names the test prefix}"

# shellcheck source=../link/wine_com3_card.sh
source "$(dirname "$0")/../link/wine_com3_card.sh"
# shellcheck source=../wine_compare.sh
source "$(dirname "$0")/../wine_compare.sh"

work=$(mktemp -d)
unregistered=
win_path() { printf 'Z:%s' "${1//\//\\}"; }
cleanup() {
    [ -n "$unregistered" ] && "$wine" regsvr32 /s "$(win_path "$ocx")"
    stop_com3_card
    rm -rf "$work"
}
trap cleanup EXIT

# The Linux palvex uses the module of its build tree (an empty per-user
# store) and finds COM3 through its environment.
run_linux() {
    env -u PALVEX_TRACE XDG_CONFIG_HOME="$work/config" PALVEX_COM3="$card_pty_link" \
        "$linux" "$@" >"$work/linux.out" 2>"$work/linux.err"
    linux_status=$?
}
# Wine hands palvex.exe its words as UTF-8 only in a UTF-8 locale.
run_windows() {
    env -u PALVEX_TRACE LANG=C.UTF-8 LC_ALL=C.UTF-8 \
        "$wine" "$exe" "$@" >"$work/win.out" 2>"$work/win.err"
    win_status=$?
}

# check NAME LINE: LINE's words run through both; @FILE@ names a file of
# $work, given to each program in its own form.
check() {
    local name=$1 line=$2 word
    local -a linux_words=() win_words=()
    for word in $line; do
        if [[ $word == @*@ ]]; then
            word=${word#@}
            word=${word%@}
            linux_words+=("$work/$word")
            win_words+=("$(win_path "$work/$word")")
        else
            linux_words+=("$word")
            win_words+=("$word")
        fi
    done
    run_linux "${linux_words[@]}"
    run_windows "${win_words[@]}"
    if [ -n "${strip_windows_paragraph:-}" ]; then
        grep -q "^$strip_windows_paragraph" "$work/win.out" ||
            fail "$name: no \"$strip_windows_paragraph\" paragraph"
        sed -i "/^$strip_windows_paragraph/,/^\$/d" "$work/win.out"
    fi
    same_as_linux "$name" "status $win_status, $(wc -l <"$work/win.out") lines"
}

# Files for the arguments: a PGM image, 65536 bytes of pixel codes, a
# font library.
printf 'P2\n4 2\n255\n0 255 128 127\n255 0 0 255\n' >"$work/logo.pgm"
head -c 65536 /dev/zero | tr '\0' '\3' >"$work/codes.bin"
head -c 3000 /dev/zero | tr '\0' '\125' >"$work/font.lib"

# 1. Registered in the prefix: CoCreateInstance.
run_windows --verbose SetSendFlag 0
grep -q "(registered for the class)" "$work/win.err" || {
    fail "registered: palvex.exe did not say it uses the registered class"
    cat "$work/win.err"
}

# 2. Not registered: palvex.exe loads the module beside it.
[ -f "$(dirname "$exe")/$(basename "$ocx")" ] || fail "palvex.exe does not lie beside $(basename "$ocx")"
unregistered=1
"$wine" regsvr32 /u /s "$(win_path "$ocx")" || fail "regsvr32 /u refused $(win_path "$ocx")"
run_windows --verbose SetSendFlag 0
grep -q "(installed beside the program)" "$work/win.err" || {
    fail "unregistered: palvex.exe did not say it uses the module beside it"
    cat "$work/win.err"
}
[ "$(cat "$work/win.out")" = "SetSendFlag -" ] || fail "unregistered: printed $(cat "$work/win.out")"
if "$wine" regsvr32 /s "$(win_path "$ocx")"; then
    unregistered=
else
    fail "regsvr32 refused $(win_path "$ocx")"
fi

# 3. The table: frames built without a card, and lines refused.
capture="SetSendFlag 0 : SetLedProperty 1 256 64"
while IFS='|' read -r name line; do
    [ -n "$name" ] && check "$name" "$line"
done <<EOF_CASES
property frame|$capture : QKSetProperty 20004081 : GetSendString
setup frame|$capture : QKSetup 20004081 : GetSendString
text in the card's code page|$capture : ShowString 0 0 0 1 中文 : GetSendString
raw text|--raw-text $capture : ShowString 1 8 16 2 abc : GetSendString
the euro sign and the middle dot|$capture : ShowString 0 0 0 1 €·x : GetSendString
characters GBK has no code for|$capture : ShowString 0 0 0 1 a😀
a Hangul syllable|$capture : ShowString 0 0 0 1 한
drawing frames|$capture : Line 0 0 0 255 63 1 : GetSendString : SwitchToBank 1 : GetSendString : ClearBank 2 : GetSendString : CopyToBank 1 : GetSendString
device frames|$capture : SetBrightness 7 : GetSendString : SetRelay 1 0 1 : GetSendString : SetTemperatureOffset -3 : GetSendString : SetCtrlTemperature 70 60 45 40 1 : GetSendString
clock and test frames|$capture : SetOnOffTime 480 1320 0 0 : GetSendString : StartTest : GetSendString : ClearPowerCheckResult : GetSendString : Reset : GetSendString : LockHZLib 1 : GetSendString
lists|$capture : SetOrderList 3 2,0,65535 : GetSendString : SendProgList 2 E000000000010000,1010020001000000 : GetSendString
numbers and queries in capture mode|$capture : GetTotalPageNum : GetSendStepNum : GetVersion : GetTestState : GetTime : GetAllResult 1 : GetTestResult 1 0 : GetPowerState : SetCommTimeOut 30 : GetSendString
a PGM picture|SetSendFlag 0 : SetLedProperty 1 512 64 : SendPicture 0 0 @logo.pgm@ : GetSendString : SendPicture 0 3 @logo.pgm@ : GetSendString
pixel codes|SetSendFlag 0 : SetLedProperty 1 256 32 : SendPicture 0 1 @codes.bin@ : GetSendString
a font block|$capture : SendHZLib 2 @font.lib@ : GetSendString
names ignore case|setsendflag 0 : SETLEDPROPERTY 1 256 64 : qksetproperty 20004081 : getsendstring
a value out of range|ComInitial 3 70000 800
a value below the range|SetBrightness -40000
not a number|SetBrightness 1x
a word too many|GetVersion 3
a word too few|SetRelay 1 0
an unknown method|$capture : NoSuchMethod 1
an unknown option|--frobnicate GetVersion
a missing file|SetSendFlag 0 : SendPicture 0 0 @missing.bin@
a bad list|SetSendFlag 0 : SetOrderList 4 1,2,3
no calls after a colon|SetSendFlag 0 :
EOF_CASES

# What the Windows build lacks is refused with the reason, before any link.
printf '\211PNG\r\n\032\n' >"$work/logo.png"
while IFS='|' read -r name words; do
    # shellcheck disable=SC2086 # the words of the line
    run_windows $words
    if [ "$win_status" != 2 ] || ! grep -q "not available on Windows" "$work/win.err"; then
        fail "$name: status $win_status, $(head -c 300 "$work/win.err")"
    else
        echo "ok: $name refused"
    fi
done <<EOF_REFUSED
a PNG picture|SetSendFlag 0 : SendPicture 0 0 $(win_path "$work/logo.png")
send-font|--com 3 --baud 9600 --card 1 --width 256 --height 64 send-font $(win_path "$work/font.lib")
preview|--width 256 --height 64 -o $(win_path "$work/p.png") preview $(win_path "$work/codes.bin")
draw|draw $(win_path "$work/d.png")
EOF_REFUSED

strip_windows_paragraph="Not available on Windows:" check "--help" "--help"
strip_windows_paragraph="Not available on Windows:" check "--help after options" "--verbose --help"

# 4. A card: cardsim on a loopback port and on COM3's pty, as the link tests
# have it (9600 bit/s: Wine sets a pty's speed through the classic termios
# constants).
start_com3_card "$cardsim" "$work" || exit 1

queries="SetLedProperty 1 256 64 : GetVersion : SetBrightness 5 : QKGetProperty : GetTestState"
check "a card over TCP" "NetInitial 0 127.0.0.1 $card_tcp_port 1000 : $queries : QKClose"
check "a card on COM3" "ComInitial 3 9600 1000 : $queries : QKClose"
check "no card on the port" "NetInitial 0 127.0.0.1 1 300 : GetVersion : QKClose"

finish "palvex.exe printed what the Linux palvex printed"
