#!/bin/bash
# palvex_exe_matches_linux_test.sh WINE PALVEX_EXE PALVEX_OCX LINUX_PALVEX CARDSIM
#
# palvex.exe under Wine must print what the Linux palvex prints: the same
# standard output, byte for byte, and the same exit status, for a table of
# command lines (capture-mode frames of many methods, PNG pictures of every
# kind, refused lines, --help, typelib) and for calls and jobs on a simulated
# card over TCP and over COM3, the jobs' progress on standard error as well;
# the preview and draw write images with the same pixels. The control is
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
    ${after_linux:-:}
    run_windows "${win_words[@]}"
    # A path the program prints is the path it was given, in its own form.
    sed -i "s|$(win_path "$work/" | sed 's/\\/\\\\/g')|$work/|g" "$work/win.out" "$work/win.err"
    same_as_linux "$name" "status $win_status, $(wc -l <"$work/win.out") lines"
    [ -z "${with_progress:-}" ] || same_progress "$name"
}

# same_progress NAME: the same messages and progress lines on standard
# error, the measured rates and times left aside.
same_progress() {
    local side
    for side in linux win; do
        sed -E 's/[0-9]+ B\/s, [0-9:]+ left/R B\/s, T left/' "$work/$side.err" >"$work/$side.progress"
    done
    if cmp -s "$work/linux.progress" "$work/win.progress"; then
        echo "ok: $name (the same $(wc -l <"$work/win.progress") lines on standard error)"
    else
        fail "$name: standard error differs (Linux -, Windows +):"
        diff -u "$work/linux.progress" "$work/win.progress" | sed -n '3,20p'
    fi
}

# check_image NAME LINE IMAGE [outline]: LINE writes IMAGE (a file of
# $work); both programs' images must have the same pixels, or with
# "outline" the same but for an outline's steps drawn a pixel apart.
check_image() {
    local image=$3
    rm -f "$work/$image" "$work/linux-$image"
    after_linux="cp $work/$image $work/linux-$image" check "$1" "$2"
    if [ "${4:-}" = outline ]; then
        if python3 "$png_cases" outline "$work/linux-$image" "$work/$image" >"$work/outline"; then
            echo "ok: $1 ($(cat "$work/outline"))"
        else
            fail "$1: $(cat "$work/outline")"
        fi
        return
    fi
    local side
    for side in "linux-$image" "$image"; do
        python3 "$png_cases" pixels "$work/$side" >"$work/$side.pixels" ||
            fail "$1: $side cannot be read"
    done
    if cmp -s "$work/linux-$image.pixels" "$work/$image.pixels"; then
        echo "ok: $1 (the same pixels, $(head -1 "$work/$image.pixels"))"
    else
        fail "$1: the images' pixels differ (Linux $(head -1 "$work/linux-$image.pixels")," \
            "Windows $(head -1 "$work/$image.pixels"))"
    fi
}
png_cases=$(dirname "$0")/png_cases.py

# Files for the arguments: a PGM image, 65536 bytes of pixel codes, a
# font library.
printf 'P2\n4 2\n255\n0 255 128 127\n255 0 0 255\n' >"$work/logo.pgm"
head -c 65536 /dev/zero | tr '\0' '\3' >"$work/codes.bin"
head -c 3000 /dev/zero | tr '\0' '\125' >"$work/font.lib"
python3 "$png_cases" make "$work" >"$work/png.list" || fail "the PNG files cannot be made"
{
    head -c 60 "$work/rgb8.png"
    head -c 200 /dev/urandom
} >"$work/damaged.png"

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

# Every kind of PNG file gives the same pixel codes: each step of a screen
# the size of the image (at most 512 x 128, two rows a step above 64 rows).
while read -r png width height; do
    width=$((width > 512 ? 512 : width)) height=$((height > 128 ? 128 : height))
    line="SetSendFlag 0 : SetLedProperty 1 $width $height"
    for ((step = 0; step < (height > 64 ? 64 : height); step++)); do
        line+=" : SendPicture 0 $step @$png.png@ : GetSendString"
    done
    check "a PNG picture: $png" "$line"
done <"$work/png.list"
check "a damaged PNG" "SetSendFlag 0 : SetLedProperty 1 64 16 : SendPicture 0 0 @damaged.png@"

check "--help" "--help"
check "--help after options" "--verbose --help"
check "--version" "--version"
check "typelib" "typelib"
# The design-time picture: Windows draws the ellipse with GDI, Linux with the
# module's own rule of pixel centres; a few steps of the outline fall a
# pixel apart.
check_image "draw" "draw @drawn.png@" drawn.png outline
check_image "draw at a size" "draw @drawn.png@ 97x41" drawn.png outline
check_image "preview of a PNG" "--width 96 --height 80 -o @screen.png@ preview @rgba8.png@" screen.png
check_image "preview of pixel codes" "--width 40 --height 16 -o @screen.png@ preview @codes.bin@" \
    screen.png
check "a preview of a file that is none" "--width 40 --height 16 -o @screen.png@ preview @font.lib@"

# 4. A card: cardsim on a loopback port and on COM3's pty, as the link tests
# have it (9600 bit/s: Wine sets a pty's speed through the classic termios
# constants).
start_com3_card "$cardsim" "$work" || exit 1

queries="SetLedProperty 1 256 64 : GetVersion : SetBrightness 5 : QKGetProperty : GetTestState"
check "a card over TCP" "NetInitial 0 127.0.0.1 $card_tcp_port 1000 : $queries : QKClose"
check "a card on COM3" "ComInitial 3 9600 1000 : $queries : QKClose"
check "no card on the port" "NetInitial 0 127.0.0.1 1 300 : GetVersion : QKClose"

# The jobs, with their messages and progress lines on a pipe.
screen="--card 1 --width 256 --height 64"
with_progress=1 check "send-font on COM3" "--com 3 --baud 9600 $screen send-font @font.lib@"
with_progress=1 check "send-font over TCP from block 1" \
    "--net 127.0.0.1:$card_tcp_port $screen --from 1 send-font @font.lib@"
with_progress=1 check "send-font from past the end" "--com 3 --baud 9600 $screen --from 3 send-font @font.lib@"
with_progress=1 check "send-picture of a PNG on COM3" \
    "--com 3 --baud 9600 --card 1 --width 48 --height 12 --page 1 send-picture @palette4-alpha.png@"
with_progress=1 check "send-picture of a PNG over TCP from step 20" \
    "--net 127.0.0.1:$card_tcp_port $screen --page 0 --from 20 send-picture @larger-than-the-picture.png@"
with_progress=1 check "send-picture to a page the screen has not" \
    "--com 3 --baud 9600 $screen --page 64 send-picture @rgb8.png@"
check "send-font with no card on the port" "--net 127.0.0.1:1 --wait 300 $screen send-font @font.lib@"

finish "palvex.exe printed what the Linux palvex printed"
