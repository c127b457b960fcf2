#!/usr/bin/env bash
# Checks the Debian package RELEASE_DIR/palvex_VERSION_amd64.deb: its fields
# and files, lintian, then (as root) installs it into a throw-away root with
# dpkg --root, runs the installed programs, builds consumers against it and
# purges it again. Without root the files are unpacked with dpkg-deb -x and
# the install and purge are not run.
#   deb_test.sh RELEASE_DIR VERSION
# One "ok ..." or "FAIL ..." line per check, "NOT RUN: ..." for what cannot
# run here; status 1 on any failure.
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: deb_test.sh RELEASE_DIR VERSION" >&2; exit 2; }
version=$2
deb=$(realpath "$1")/palvex_${version}_amd64.deb
here=$(cd "$(dirname "$0")" && pwd)
multiarch=x86_64-linux-gnu
reset_frame=1B24514B30315700015AC88E # Reset for card 1
failures=0
ok() { echo "ok $*"; }
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}
# expect NAME ACTUAL PATTERN: ACTUAL matches the shell pattern PATTERN.
expect() {
    # shellcheck disable=SC2053
    if [[ $2 == $3 ]]; then ok "$1"; else fail "$1: got '$2'"; fi
}
[ -f "$deb" ] || { echo "FAIL no package $deb"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config # no registration of this machine's user
unset PALVEX_MODULE

# --- The package's fields and files ------------------------------------------
expect "the package is palvex $version for amd64" \
    "$(dpkg-deb -f "$deb" Package Version Architecture | tr '\n' ' ')" \
    "Package: palvex Version: $version Architecture: amd64 "
depends=$(dpkg-deb -f "$deb" Depends)
for d in libc6 libstdc++6 libqt6widgets6 libpng16-16; do
    expect "Depends names $d" "$depends" "*$d (>= *"
done
listing=$(dpkg-deb -c "$deb")
# mode, then path (VERSION: the version): where each part of the package lies.
while read -r mode path; do
    path=${path/VERSION/$version}
    line=$(grep -E " \./${path//./\\.}( ->.*)?\$" <<< "$listing")
    expect "the package holds $path" "${line%% *}" "$mode"
done <<'FILES'
-rwxr-xr-x usr/bin/palvex
-rwxr-xr-x usr/bin/dravel
-rwxr-xr-x usr/bin/cardsim
-rw-r--r-- usr/lib/x86_64-linux-gnu/libpalvex.so.VERSION
lrwxrwxrwx usr/lib/x86_64-linux-gnu/libpalvex.so.1
lrwxrwxrwx usr/lib/x86_64-linux-gnu/libpalvex.so
-rw-r--r-- usr/include/palvex/palvex_c.h
-rw-r--r-- usr/include/palvex/palvex_com.h
-rw-r--r-- usr/lib/x86_64-linux-gnu/pkgconfig/palvex.pc
-rw-r--r-- usr/lib/x86_64-linux-gnu/cmake/Palvex/PalvexConfig.cmake
-rw-r--r-- usr/lib/udev/rules.d/60-palvex-serial.rules
-rw-r--r-- usr/share/man/man1/palvex.1.gz
-rw-r--r-- usr/share/man/man1/dravel.1.gz
-rw-r--r-- usr/share/man/man1/cardsim.1.gz
-rw-r--r-- usr/share/doc/palvex/copyright
-rw-r--r-- usr/lib/python3/dist-packages/palvex/__init__.py
FILES
expect "every file belongs to root:root" "$(awk '$2 != "root/root"' <<< "$listing")" ""
expect "no test program, no build folder" "$(grep -Ei 'test|/build/|\.a$' <<< "$listing")" ""

dpkg-deb -x "$deb" "$work/unpacked"
unstripped=()
while IFS= read -r -d '' f; do
    [ "$(head -c 4 "$f" | od -An -tx1 | tr -d ' ')" = 7f454c46 ] || continue
    readelf -S "$f" | grep -qE '\.(symtab|debug_info|comment) ' && unstripped+=("${f#"$work"/unpacked}")
done < <(find "$work/unpacked" -type f -print0)
expect "the binaries are stripped" "${unstripped[*]-}" ""
for page in palvex dravel cardsim; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l \
        "$work/unpacked/usr/share/man/man1/$page.1.gz" 2>&1 > /dev/null)
    expect "the manual page of $page formats without warnings" "$warnings" ""
done

if command -v lintian > /dev/null; then
    start=$(date +%s%N)
    lint=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges')
    lint_ms=$((($(date +%s%N) - start) / 1000000))
    expect "lintian reports no error (${lint_ms} ms)" "$(grep '^E:' <<< "$lint")" ""
    [ -z "$lint" ] || while IFS= read -r l; do echo "  lintian: $l"; done <<< "$lint"
else
    echo "NOT RUN: lintian (not installed)"
fi

# --- Installed into a throw-away root --------------------------------------
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/log"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg_root=(dpkg --root="$root" --force-script-chrootless --force-depends)
listed() { (cd "$root" && find . -path ./var/lib/dpkg -prune -o -path ./var/log -prune -o -print | sort); }
listed > "$work/before"
installed=no
if [ "$(id -u)" -eq 0 ]; then
    if out=$("${dpkg_root[@]}" -i "$deb" 2>&1); then
        ok "dpkg --root installs the package"
        installed=yes
    else
        fail "dpkg --root -i: $out"
    fi
else
    echo "NOT RUN: install/purge (needs root); the files are checked unpacked"
    root=$work/unpacked
fi
lib=$root/usr/lib/$multiarch

frame=$("$root/usr/bin/palvex" --verbose SetSendFlag 0 : SetLedProperty 1 256 64 : Reset \
    : GetSendString 2> "$work/palvex.err" | tail -n 1)
expect "the installed palvex prints the frame of Reset" "$frame" "GetSendString true 12 $reset_frame"
expect "palvex uses the installed module, unregistered" "$(cat "$work/palvex.err")" \
    "*control module $root/usr/bin/../lib/$multiarch/libpalvex.so.1 (installed beside the program)"
# The version the package is named by is the one each program reports.
for program in palvex dravel cardsim; do
    expect "$program --version" "$("$root/usr/bin/$program" --version 2>&1)" "$program $version"
done

flags=$(PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_LIBDIR=$lib/pkgconfig \
    pkg-config --cflags --libs palvex 2>&1)
normal=()
for f in $flags; do
    case $f in -I* | -L*) f=${f:0:2}$(realpath -m "${f:2}") ;; esac
    normal+=("$f")
done
expect "pkg-config --cflags --libs palvex" "${normal[*]-}" \
    "-I$root/usr/include/palvex -L$lib -lpalvex"
# shellcheck disable=SC2086
if out=$(cc "$here/consumer/consumer.c" -o "$work/consumer" $flags 2>&1); then
    expect "a C consumer built with pkg-config runs on the installed module" \
        "$(LD_LIBRARY_PATH=$lib "$work/consumer" 2>&1)" "Palvex $version armed 1 steps 32 QKSetup 37"
else
    fail "the C consumer does not build: $out"
fi
if out=$(cmake -S "$here/consumer" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$root/usr" 2>&1 &&
    cmake --build "$work/cmake" 2>&1); then
    expect "find_package(Palvex) finds the installed package" \
        "$(sed -n 's/^Palvex_DIR:PATH=//p' "$work/cmake/CMakeCache.txt")" "$lib/cmake/Palvex"
    expect "a CMake consumer runs on the installed module" \
        "$(LD_LIBRARY_PATH=$lib "$work/cmake/consumer" 2>&1)" "Palvex $version armed 1 steps 32 QKSetup 37"
else
    fail "the CMake consumer does not build: $out"
fi
# The system's Python, whose packages the package's lie among, run with byte
# code written (as root: beside the modules), which the removal must take along.
if [ -x /usr/bin/python3 ]; then
    expect "the installed Python package finds the installed module" \
        "$(cd "$work" && env -u PYTHONDONTWRITEBYTECODE PYTHONPATH="$root/usr/lib/python3/dist-packages" \
            /usr/bin/python3 -c 'import palvex; print(palvex.load_module().path)' 2>&1)" \
        "$lib/libpalvex.so.1"
else
    echo "NOT RUN: the Python package (no /usr/bin/python3)"
fi

if [ $installed = yes ]; then
    if out=$("${dpkg_root[@]}" --purge palvex 2>&1); then
        ok "dpkg --root purges the package"
    else
        fail "dpkg --root --purge: $out"
    fi
    expect "the purge leaves no file of the package" \
        "$(listed | diff "$work/before" - | grep '^[<>]')" ""
fi

[ $failures -eq 0 ] || { echo "deb_test.sh: $failures failed"; exit 1; }
echo "deb_test.sh: all passed"
