#!/bin/bash
# make_windows_packages.sh OUT VERSION BUILD_WIN32 BUILD_WIN64
#
# Writes, from the two Windows build folders (built already; nothing is
# rebuilt here):
#   OUT/palvex-VERSION-windows-setup.exe   the installer (palvex.nsi)
#   OUT/palvex-VERSION-win32.zip           dravel.exe, palvex.exe, Palvex.ocx
#   OUT/palvex-VERSION-win64.zip           and README.txt in one folder
# Each build is installed into a staging folder (cmake --install), its
# programs and module stripped; the installer and the zips take the files
# from there.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 OUT VERSION BUILD_WIN32 BUILD_WIN64" >&2; exit 2; }
out=$1 version=$2 build32=$3 build64=$4
here=$(dirname "$(realpath "$0")")
mkdir -p "$out"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

stage() { # stage BUILD BITS TRIPLE
    local dir=$work/win$2
    cmake --install "$1" --prefix "$dir" >/dev/null
    local f
    for f in palvex.exe dravel.exe Palvex.ocx; do
        [ -f "$dir/$f" ] || { echo "$0: $1 installed no $f" >&2; return 1; }
        "$3-strip" --strip-unneeded "$dir/$f"
    done
}
stage "$build32" 32 i686-w64-mingw32
stage "$build64" 64 x86_64-w64-mingw32

bash "$here/make_installer.sh" "$work/win32" "$work/win64" "$version" \
    "$out/palvex-$version-windows-setup.exe"

# The zips: one folder with the programs, the module and the short README,
# in UTF-8 with a byte-order mark and CRLF line ends, as Notepad reads it.
for bits in 32 64; do
    name=palvex-$version-win$bits
    mkdir -p "$work/zip$bits/$name"
    cp "$work/win$bits"/{dravel.exe,palvex.exe,Palvex.ocx} "$work/zip$bits/$name/"
    printf '\xef\xbb\xbf' >"$work/zip$bits/$name/README.txt"
    sed 's/$/\r/' "$here/README-zip.txt" >>"$work/zip$bits/$name/README.txt"
    rm -f "$out/$name.zip"
    python3 - "$work/zip$bits" "$name" "$out/$name.zip" <<'PY'
import os, sys, zipfile
root, name, target = sys.argv[1:]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    z.write(os.path.join(root, name), name)
    for f in sorted(os.listdir(os.path.join(root, name))):
        z.write(os.path.join(root, name, f), name + "/" + f)
PY
done
ls -l "$out/palvex-$version-windows-setup.exe" "$out/palvex-$version-win32.zip" \
    "$out/palvex-$version-win64.zip"
