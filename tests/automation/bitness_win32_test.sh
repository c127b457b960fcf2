#!/bin/bash
# bitness_win32_test.sh WINE64 OCX64 OCX32
#
# Both bitnesses of Palvex.ocx registered side by side in one 64-bit prefix
# ($WINEPREFIX), as on a 64-bit Windows where a 32-bit host (VB6) and a
# 64-bit one (Office) meet: each view's script host creates the control by
# its ProgID; unregistering one bitness leaves the other working; removing
# the last removes everything of the product. The same for the current user
# alone. Ends with the 64-bit module registered, as the tests after it want.
set -euo pipefail
wine64=$1 ocx64=$2 ocx32=$3
: "${WINEPREFIX:?WINEPREFIX names the test prefix}"
[ -f "$ocx32" ] || { echo "no 32-bit module at $ocx32: build build-win32 first"; exit 1; }
# The script that picks the loader by the program's bitness.
wine=/usr/bin/wine
syswow='C:\windows\syswow64'

clsid='{BA4ADFFC-268B-45C6-AD0C-FD39779FBEDF}'
libid='{F5C17FD6-4428-4CB8-B7E2-B4D6413E1E27}'
failures=0

dos() { echo "Z:${1//\//\\}"; }
reg64() { "$wine64" regsvr32 /s "$@" "$(dos "$ocx64")"; }
reg32() { "$wine" "$syswow\\regsvr32.exe" /s "$@" "$(dos "$ocx32")"; }

# A host of each bitness makes the control and calls it (capture mode).
vbs=$(mktemp --suffix=.vbs)
trap 'rm -f "$vbs"' EXIT
cat >"$vbs" <<'VBS'
On Error Resume Next
Set ctrl = CreateObject("PALVEX.PalvexCtrl.1")
If Err.Number <> 0 Then WScript.Quit 2
ctrl.SetSendFlag 0
If Not ctrl.SetLedProperty(1, 256, 64) Then WScript.Quit 3
WScript.Quit 0
VBS
host64() { "$wine64" cscript //nologo "$(dos "$vbs")" >/dev/null 2>&1; }
host32() { "$wine" "$syswow\\cscript.exe" //nologo "$(dos "$vbs")" >/dev/null 2>&1; }

present() { # present VIEW KEY: the key as that bitness's programs see it
    if [ "$1" = 64 ]; then
        "$wine64" reg query "$2" >/dev/null 2>&1
    else
        "$wine" "$syswow\\reg.exe" query "$2" >/dev/null 2>&1
    fi
}

expect() { # expect WHAT CONDITION-COMMAND...
    local what=$1
    shift
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}
not() { ! "$@"; }

state() { # state ROOT WANT64 WANT32 (yes|no): the hosts and the keys of each bitness
    local root=$1 w64=$2 w32=$3
    local lib="$root\\TypeLib\\$libid\\1.0\\0"
    [ "$w64" = yes ] && expect "64-bit host makes the control" host64 ||
        expect "64-bit host cannot make it" not host64
    [ "$w32" = yes ] && expect "32-bit host makes the control" host32 ||
        expect "32-bit host cannot make it" not host32
    for bits in 64 32; do
        local want=$w64
        [ $bits = 32 ] && want=$w32
        if [ "$want" = yes ]; then
            expect "$root: $bits-bit class key" present $bits "$root\\CLSID\\$clsid\\InprocServer32"
            expect "$root: type library file win$bits" present 64 "$lib\\win$bits"
        else
            expect "$root: no $bits-bit class key" not present $bits "$root\\CLSID\\$clsid"
            expect "$root: no type library file win$bits" not present 64 "$lib\\win$bits"
        fi
    done
    if [ "$w64" = yes ] || [ "$w32" = yes ]; then
        expect "$root: the ProgID both share" present 64 "$root\\PALVEX.PalvexCtrl.1\\CLSID"
    else
        expect "$root: no ProgID" not present 64 "$root\\PALVEX.PalvexCtrl.1"
        expect "$root: no type library" not present 64 "$root\\TypeLib\\$libid"
    fi
}

machine='HKLM\Software\Classes'
user='HKCU\Software\Classes'
reg64 /u || true
reg32 /u || true

echo "== both registered for the machine"
reg64 && reg32
state "$machine" yes yes
echo "== the 32-bit module unregistered"
reg32 /u
state "$machine" yes no
echo "== the 32-bit module again, the 64-bit one unregistered"
reg32 && reg64 /u
state "$machine" no yes
echo "== the last one unregistered"
reg32 /u
state "$machine" no no

# For the user alone, the type library's files of both bitnesses. (Wine keeps
# one view of HKCU\Software\Classes\CLSID for both bitnesses, where Windows
# keeps two, so the user's class keys are not side by side here.)
typelib() { # typelib WANT64 WANT32
    local lib="$user\\TypeLib\\$libid"
    for bits in 64 32; do
        local want=$1
        [ $bits = 32 ] && want=$2
        if [ "$want" = yes ]; then
            expect "$user: type library file win$bits" present 64 "$lib\\1.0\\0\\win$bits"
        else
            expect "$user: no type library file win$bits" not present 64 "$lib\\1.0\\0\\win$bits"
        fi
    done
    [ "$1$2" = nono ] && expect "$user: no type library" not present 64 "$lib"
    return 0
}
echo "== both for the current user alone, one removed, then the other"
reg64 /n /i:user && reg32 /n /i:user
typelib yes yes
reg32 /u /n /i:user
typelib yes no
reg64 /u /n /i:user
typelib no no

echo "== the 64-bit module registered again for the tests that follow"
reg64

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "all checks passed"
