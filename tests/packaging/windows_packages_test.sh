#!/bin/bash
# windows_packages_test.sh RELEASE_DIR VERSION CARDSIM
#
# The Windows installer and zips under Wine, in fresh prefixes (64-bit, and
# 32-bit where the kernel runs 32-bit programs): a failed registration, an
# older version, the upgrade over it, files, registry views, shortcut and
# uninstall entry, the installed examples against cardsim on COM3, the
# uninstall; then each zip unregistered (ARCHITECTURE.md, "Packaging:
# Windows"). One "ok"/"FAIL" line per check, "NOT RUN:" for what this kernel
# cannot run; exit status 1 on any failure.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: $0 RELEASE_DIR VERSION CARDSIM" >&2; exit 2; }
release=$(realpath "$1") version=$2 cardsim=$(realpath "$3")
here=$(dirname "$(realpath "$0")")
source_dir=$(realpath "$here/../..")
setup=$release/palvex-$version-windows-setup.exe
started=$(date +%s)

export WINEDEBUG=-all
# No Mono or Gecko offers; no menu entries in this user's desktop for the
# prefix's shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine64=/usr/lib/wine/wine64 wine32=/usr/lib/wine/wine wineserver=/usr/lib/wine/wineserver
work=$(mktemp -d)
# wine_com3_card.sh starts its session with $wine, in $WINEPREFIX (each
# prefix sets both, and card_pty_link, the pty's link the prefix names).
wine=$wine64
export WINEPREFIX=$work/prefix64
# shellcheck source=tests/link/wine_com3_card.sh
source "$source_dir/tests/link/wine_com3_card.sh"

cleanup() {
    stop_com3_card
    for p in "$work"/prefix*; do [ -d "$p" ] && WINEPREFIX=$p "$wineserver" -k 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() { # check WHAT COMMAND...
    local what=$1
    shift
    if "$@" >"$work/check.out" 2>&1; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        tail -n 12 "$work/check.out" | sed 's/^/    /'
        failures=$((failures + 1))
    fi
    cat "$work/check.out" >>"$work/log"
}
not() { ! "$@"; }
absent() { # absent PATH...: none exists (what does is listed)
    local p found=0
    for p in "$@"; do
        [ -e "$p" ] && { find "$p"; found=1; }
    done
    [ $found = 0 ]
}
exits_with() { # exits_with STATUS COMMAND...
    local want=$1
    shift
    "$@"
    local rc=$?
    echo "exit status $rc"
    [ "$rc" = "$want" ]
}

clsid='{BA4ADFFC-268B-45C6-AD0C-FD39779FBEDF}'
libid='{F5C17FD6-4428-4CB8-B7E2-B4D6413E1E27}'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Palvex'
settings_key='HKCU\Software\Tavrin\Sarnow'
shortcut='ProgramData/Microsoft/Windows/Start Menu/Programs/通讯屏D卡配置程序.lnk'

for f in "$setup" "$release/palvex-$version-win32.zip" "$release/palvex-$version-win64.zip"; do
    [ -f "$f" ] || { echo "FAIL no $f"; exit 1; }
done

# The machine type in a PE file's header: 8664 (x86-64) or 014c (i386).
pe_machine() {
    python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(4096); o=struct.unpack_from("<I",d,0x3c)[0]; print("%04x" % struct.unpack_from("<H",d,o+4)[0])' "$1"
}
is_pe() { [ "$(pe_machine "$2")" = "$1" ]; }

# reg of the prefix: VIEW is 64, 32 (the two views of a 64-bit prefix) or
# "" (a 32-bit prefix's one).
reg_cmd() { # reg_cmd VIEW reg-arguments...
    local view=$1
    shift
    case $view in
    64) "$wine64" reg "$@" /reg:64 ;;
    32) "$wine64" reg "$@" /reg:32 ;;
    *) "$wine32" reg "$@" ;;
    esac
}
has_key() { reg_cmd "$1" query "$2"; }
value_of() { # value_of VIEW KEY NAME: the value's data
    reg_cmd "$1" query "$2" /v "$3" | tr -d '\r' | sed -n "s/^ *$3 *REG_[A-Z_]* *//p"
}
default_has() { # default_has VIEW KEY TEXT: the key's default value holds TEXT
    reg_cmd "$1" query "$2" /ve | grep -qiF -- "$3"
}
value_is() { [ "$(value_of "$1" "$2" "$3")" = "$4" ]; }

# The older build: the zips' programs and module (the same binaries), its
# own README and a file that the current version does not install, so the
# upgrade shows whether the old files go.
old_version=0.9.0.0
make_old_installer() {
    local bits
    for bits in 32 64; do
        python3 -m zipfile -e "$release/palvex-$version-win$bits.zip" "$work/old$bits"
        mv "$work/old$bits/palvex-$version-win$bits" "$work/old$bits/stage"
        echo "only in the older version" >"$work/old$bits/stage/OLD-ONLY.txt"
    done
    bash "$source_dir/packaging/windows/make_installer.sh" "$work/old32/stage" "$work/old64/stage" \
        "$old_version" "$work/palvex-$old_version-windows-setup.exe" >>"$work/log" 2>&1 || return 1
    # And one whose 32-bit module cannot be registered (not a module).
    cp -r "$work/old32/stage" "$work/bad32"
    echo "not a module" >"$work/bad32/Palvex.ocx"
    bash "$source_dir/packaging/windows/make_installer.sh" "$work/bad32" "$work/old64/stage" \
        "$old_version" "$work/palvex-bad-windows-setup.exe" >>"$work/log" 2>&1
}

make_prefix() { # make_prefix DIR LOADER [WINEARCH]
    local arch=()
    [ $# -gt 2 ] && arch=(WINEARCH="$3")
    env WINEPREFIX="$1" "${arch[@]}" cmake -DPREFIX="$1" -DWINE="$2" \
        -P "$source_dir/tests/wine_prefix.cmake"
}

# Runs a Windows program and waits for every process it started (the
# uninstaller goes on from a copy of itself in the temporary folder).
run_and_wait() { # run_and_wait LOADER PROGRAM [ARG...]
    "$@"
    local rc=$?
    timeout 120 "$wineserver" -w
    return $rc
}

# A host's output: the card's property text.
card_line() { # card_line COMMAND...
    local text
    text=$("$@" | tr -d '\r') || return 1
    echo "$text"
    [[ $text =~ ^card:\ ([0-9A-F]{2})+$ ]]
}
# The installed C++ example built by the compiler of one bitness with the
# installed header, then run.
cpp_example() { # cpp_example TRIPLE LOADER ROOT
    "$1-g++-posix" -Wall -Wextra -Werror -static -I"$3/include" "$3/examples/palvex_example.cpp" \
        -o "$work/example-$1.exe" -lole32 -loleaut32 -luuid && card_line "$2" "$work/example-$1.exe" 3
}

lnk_targets_dravel() { # the shortcut names dravel.exe in the folder given
    python3 -c 'import sys; d=open(sys.argv[1],"rb").read(); t=sys.argv[2]; sys.exit(0 if t.encode() in d or t.encode("utf-16-le") in d else 1)' "$1" "$2"
}

# EstimatedSize (KiB) within a tenth of what the folders hold.
size_is_estimated() { # size_is_estimated VIEW FOLDER...
    local view=$1 want have
    shift
    want=$(du -sk "$@" | awk '{s += $1} END {print s}')
    have=$(($(value_of "$view" "$uninstall_key" EstimatedSize)))
    echo "EstimatedSize $have KiB, the folders $want KiB"
    [ "$have" -gt $((want * 9 / 10)) ] && [ "$have" -lt $((want * 11 / 10)) ]
}

# One prefix through the older install, the upgrade, the uninstall and the
# zip. BITS: the prefix's (64 or 32).
run_prefix() { # run_prefix BITS
    local bits=$1 loader=$wine64 views=(64 32) dirs arch=()
    export WINEPREFIX=$work/prefix$bits
    if [ "$bits" = 32 ]; then
        loader=$wine32 views=("") arch=(win32)
    fi
    # shellcheck disable=SC2034 # read by start_com3_card
    wine=$loader card_pty_link=$WINEPREFIX/palvex-com3
    local c="$WINEPREFIX/drive_c"
    # Each view's module folder and the module's bitness in it.
    if [ "$bits" = 64 ]; then
        dirs=("$c/Program Files/Palvex:8664:64:C:\\Program Files\\Palvex"
            "$c/Program Files (x86)/Palvex:014c:32:C:\\Program Files (x86)\\Palvex")
    else
        dirs=("$c/Program Files/Palvex:014c::C:\\Program Files\\Palvex")
    fi
    local main=${dirs[0]%%:*} main_win=${dirs[0]#*:*:*:}
    echo "== $bits-bit prefix"
    check "$bits-bit prefix made" make_prefix "$WINEPREFIX" "$loader" "${arch[@]}"
    check "the tool's settings written" reg_cmd "${views[0]}" add "$settings_key" /v PackageTest /d kept /f

    if [ "$bits" = 64 ]; then
        check "an installer whose 32-bit module does not register exits 2" \
            exits_with 2 run_and_wait "$wine32" "$work/palvex-bad-windows-setup.exe" /S
        check "it leaves no folder" absent "$c/Program Files/Palvex" "$c/Program Files (x86)/Palvex"
        check "it leaves no class in the 64-bit view" not has_key 64 "HKLM\\Software\\Classes\\CLSID\\$clsid"
        check "it leaves no uninstall entry" not has_key 64 "$uninstall_key"
    fi
    check "older installer $old_version /S exits 0" run_and_wait "$wine32" "$work/palvex-$old_version-windows-setup.exe" /S
    check "older version installed: DisplayVersion $old_version" \
        value_is "${views[0]}" "$uninstall_key" DisplayVersion $old_version
    check "older version's own file installed" test -f "$main/OLD-ONLY.txt"

    check "installer $version /S over it exits 0" run_and_wait "$wine32" "$setup" /S
    local d path machine view f
    for d in "${dirs[@]}"; do
        path=${d%%:*} machine=$(cut -d: -f2 <<<"$d") view=$(cut -d: -f3 <<<"$d")
        for f in palvex.exe dravel.exe Palvex.ocx; do
            check "${path#"$c/"}/$f is built for $machine" is_pe "$machine" "$path/$f"
        done
        check "InprocServer32 in the ${view:-only} view is ${path#"$c/"}/Palvex.ocx" \
            default_has "$view" "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" \
            "${d#*:*:*:}\\Palvex.ocx"
    done
    for f in README.md uninstall.exe examples/palvex_example.vbs examples/palvex_example.bas \
        examples/PalvexExample.cs examples/palvex_example.cpp include/palvex_win32.h; do
        check "${main#"$c/"}/$f installed" test -f "$main/$f"
    done
    check "the older version's own file is gone" not test -e "$main/OLD-ONLY.txt"
    check "ProgID PALVEX.PalvexCtrl.1 registered" has_key "${views[0]}" 'HKLM\Software\Classes\PALVEX.PalvexCtrl.1\CLSID'
    check "the Start-menu shortcut names dravel.exe" lnk_targets_dravel "$c/$shortcut" "$main_win\\dravel.exe"
    for f in DisplayName DisplayVersion Publisher UninstallString QuietUninstallString EstimatedSize; do
        check "uninstall entry has $f" value_of "${views[0]}" "$uninstall_key" "$f"
    done
    check "one uninstall entry: DisplayVersion $version" value_is "${views[0]}" "$uninstall_key" DisplayVersion "$version"
    [ "$bits" = 64 ] && check "no uninstall entry in the 32-bit view" not has_key 32 "$uninstall_key"
    check "QuietUninstallString runs the uninstaller with /S" \
        value_is "${views[0]}" "$uninstall_key" QuietUninstallString "\"$main_win\\uninstall.exe\" /S"
    local folders=()
    for d in "${dirs[@]}"; do folders+=("${d%%:*}"); done
    check "EstimatedSize is the folders' size" size_is_estimated "${views[0]}" "${folders[@]}"

    start_com3_card "$cardsim" "$work" >>"$work/log" 2>&1
    # The hosts of each bitness the prefix runs: its cscript and compiler.
    local host b host_loader script_dir triple system32='C:\windows\system32'
    for host in "64|$wine64|$system32|x86_64" "32|$wine32|C:\windows\syswow64|i686"; do
        IFS='|' read -r b host_loader script_dir triple <<<"$host"
        [ "$bits" = 32 ] && { [ "$b" = 64 ] && continue; script_dir=$system32; }
        check "$b-bit cscript runs the VBScript example on COM3" \
            card_line "$host_loader" "$script_dir\\cscript.exe" //nologo "$main_win\\examples\\palvex_example.vbs" 3
        if command -v "$triple-w64-mingw32-g++-posix" >/dev/null; then
            check "the C++ example built $b-bit from the installed header reads the card" \
                cpp_example "$triple-w64-mingw32" "$host_loader" "$main"
        else
            echo "NOT RUN: the $b-bit C++ example: no $triple-w64-mingw32-g++-posix"
        fi
    done
    stop_com3_card

    check "uninstaller /S exits 0" run_and_wait "$wine32" "$main_win\\uninstall.exe" /S
    for d in "${dirs[@]}"; do
        path=${d%%:*}
        check "${path#"$c/"} is gone" absent "$path"
    done
    for view in "${views[@]}"; do
        for f in "CLSID\\$clsid" PALVEX.PalvexCtrl.1 PALVEX.PalvexPropPage.1 "TypeLib\\$libid"; do
            check "no $f in the ${view:-only} view" not has_key "$view" "HKLM\\Software\\Classes\\$f"
        done
    done
    check "no shortcut" not test -e "$c/$shortcut"
    check "no uninstall entry" not has_key "${views[0]}" "$uninstall_key"
    check "the tool's settings are still there" value_is "${views[0]}" "$settings_key" PackageTest kept

    zip_checks "$bits" "$loader"
    "$wineserver" -k 2>/dev/null
}

# The zip of one bitness unpacked into C:\ of the prefix ($WINEPREFIX), with
# no registration of the control there.
zip_checks() { # zip_checks BITS LOADER
    local zip=palvex-$version-win$1 c=$WINEPREFIX/drive_c
    check "$zip.zip holds the programs, the module and README.txt" zip_names_are "$release/$zip.zip" \
        "$zip/" "$zip/Palvex.ocx" "$zip/README.txt" "$zip/dravel.exe" "$zip/palvex.exe"
    python3 -m zipfile -e "$release/$zip.zip" "$c/" >>"$work/log" 2>&1
    start_com3_card "$cardsim" "$work" >>"$work/log" 2>&1
    check "unpacked $zip\\palvex.exe reads the card through the Palvex.ocx beside it" \
        zip_palvex_reads "$2" "C:\\$zip"
    stop_com3_card
}

zip_names_are() { # zip_names_are ZIP NAME...: exactly these, in any order
    local zip=$1
    shift
    [ "$(python3 -c 'import sys,zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")" = \
        "$(printf '%s\n' "$@" | sort)" ]
}

zip_palvex_reads() { # zip_palvex_reads LOADER FOLDER
    local out err
    out=$("$1" "$2\\palvex.exe" --verbose ComInitial 3 9600 1000 : SetLedProperty 1 256 64 : \
        QKGetProperty 2>"$work/palvex.err" | tr -d '\r') || return 1
    err=$(tr -d '\r' <"$work/palvex.err")
    echo "$out"
    echo "$err"
    grep -qE '^QKGetProperty true "([0-9A-F]{2})+"$' <<<"$out" &&
        grep -qiF "control module $2\\Palvex.ocx (installed beside the program)" <<<"$err"
}

if ! "$wine32" --version >/dev/null 2>&1; then
    echo "NOT RUN: the installer (a 32-bit program) and the 32-bit prefix: this kernel starts no 32-bit programs"
    echo "== 64-bit prefix, the zip alone"
    check "64-bit prefix made" make_prefix "$WINEPREFIX" "$wine64"
    zip_checks 64 "$wine64"
else
    make_old_installer || { echo "FAIL the older installer could not be made"; tail -n 20 "$work/log"; exit 1; }
    run_prefix 64
    run_prefix 32
fi

echo "windows_packages_test: $(($(date +%s) - started)) s"
if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "all checks passed"
