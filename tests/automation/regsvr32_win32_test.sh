#!/bin/bash
# regsvr32_win32_test.sh WINE MODULE
#
# Registers Palvex.ocx in the test prefix ($WINEPREFIX) with regsvr32 as a
# user would, for the machine and then for the user alone, and checks what
# each leaves in the registry and that /u takes it away again. WINE is the
# loader of the module's architecture, so regsvr32 and reg see the registry
# view that architecture's hosts see. Ends with the module registered for
# the machine: the script and dispatch tests create the control by that.
set -euo pipefail
wine=$1 module=$2
: "${WINEPREFIX:?WINEPREFIX names the test prefix}"

dos_module="Z:${module//\//\\}"
clsid='{BA4ADFFC-268B-45C6-AD0C-FD39779FBEDF}'
page='{C2004F2E-27FB-477C-B695-6235284F1986}'
libid='{F5C17FD6-4428-4CB8-B7E2-B4D6413E1E27}'
dispatch='{16212BB4-6F4E-491F-A90D-5807181BCCD8}'
syskind=win64
case "$wine" in */wine) syskind=win32 ;; esac
failures=0

# The text of a value ("" for the default one), or "<none>" when the key or
# value does not exist.
value() { # value KEY [NAME]
    local args=(/ve)
    [ $# -gt 1 ] && args=(/v "$2")
    local out
    out=$("$wine" reg query "$1" "${args[@]}" 2>/dev/null | tr -d '\r') || { echo "<none>"; return; }
    sed -n 's/^ *[^ ].* *REG_SZ *//p' <<<"$out" | head -1
}
exists() { "$wine" reg query "$1" >/dev/null 2>&1; }

expect() { # expect WHAT ACTUAL WANTED
    if [ "$2" = "$3" ]; then
        echo "ok   $1"
    else
        echo "FAIL $1: got '$2', wanted '$3'"
        failures=$((failures + 1))
    fi
}
expect_key() { # expect_key WHAT KEY present|absent
    local state=absent
    exists "$2" && state=present
    expect "$1" "$state" "$3"
}

regsvr() { "$wine" regsvr32 /s "$@" "$dos_module"; }

check_classes() { # check_classes ROOT
    local c="$1\\CLSID\\$clsid"
    expect "$1: control type name" "$(value "$c")" "Palvex Control"
    expect "$1: ProgID" "$(value "$c\\ProgID")" "PALVEX.PalvexCtrl.1"
    expect "$1: InprocServer32" "$(value "$c\\InprocServer32")" "$dos_module"
    expect "$1: apartment threading" "$(value "$c\\InprocServer32" ThreadingModel)" "Apartment"
    expect_key "$1: Control" "$c\\Control" present
    expect "$1: MiscStatus" "$(value "$c\\MiscStatus")" "0"
    expect "$1: MiscStatus 1 (0x20491)" "$(value "$c\\MiscStatus\\1")" "132241"
    expect "$1: ToolboxBitmap32" "$(value "$c\\ToolboxBitmap32")" "$dos_module, 1"
    expect "$1: TypeLib" "$(value "$c\\TypeLib")" "$libid"
    expect "$1: Version" "$(value "$c\\Version")" "1.0"
    expect "$1: ProgID's class" "$(value "$1\\PALVEX.PalvexCtrl.1\\CLSID")" "$clsid"
    expect "$1: page type name" "$(value "$1\\CLSID\\$page")" "Palvex Property Page"
    expect "$1: page server" "$(value "$1\\CLSID\\$page\\InprocServer32")" "$dos_module"
    expect "$1: page ProgID" "$(value "$1\\PALVEX.PalvexPropPage.1\\CLSID")" "$page"
    expect "$1: type library" "$(value "$1\\TypeLib\\$libid\\1.0")" "Palvex ActiveX Control module"
    expect_key "$1: type library file ($syskind)" "$1\\TypeLib\\$libid\\1.0\\0\\$syskind" present
    expect "$1: _DPalvex's library" "$(value "$1\\Interface\\$dispatch\\TypeLib")" "$libid"
}

check_gone() { # check_gone ROOT
    expect_key "$1: class removed" "$1\\CLSID\\$clsid" absent
    expect_key "$1: page removed" "$1\\CLSID\\$page" absent
    expect_key "$1: ProgID removed" "$1\\PALVEX.PalvexCtrl.1" absent
    expect_key "$1: page ProgID removed" "$1\\PALVEX.PalvexPropPage.1" absent
    expect_key "$1: type library removed" "$1\\TypeLib\\$libid" absent
    expect_key "$1: _DPalvex removed" "$1\\Interface\\$dispatch" absent
}

machine='HKLM\Software\Classes'
user='HKCU\Software\Classes'

echo "== regsvr32 (the machine)"
regsvr && rc=0 || rc=$?
expect "regsvr32 exit" "$rc" 0
check_classes "$machine"
expect_key "nothing for the user" "$user\\CLSID\\$clsid" absent

echo "== regsvr32 /u"
regsvr /u && rc=0 || rc=$?
expect "regsvr32 /u exit" "$rc" 0
check_gone "$machine"

echo "== regsvr32 /n /i:user (the user alone)"
regsvr /n /i:user && rc=0 || rc=$?
expect "regsvr32 /n /i:user exit" "$rc" 0
check_classes "$user"
expect_key "nothing for the machine" "$machine\\CLSID\\$clsid" absent

echo "== regsvr32 /u /n /i:user"
regsvr /u /n /i:user && rc=0 || rc=$?
expect "regsvr32 /u /n /i:user exit" "$rc" 0
check_gone "$user"

echo "== registered again for the tests that follow"
regsvr && rc=0 || rc=$?
expect "regsvr32 exit" "$rc" 0

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "all registry checks passed"
