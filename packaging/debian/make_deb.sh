#!/usr/bin/env bash
# Builds the Debian package palvex_VERSION_amd64.deb from a Linux build folder
# that is already built and configured with the prefix /usr:
#   make_deb.sh OUT VERSION BUILD_LINUX
# It installs the build into a staging root (cmake --install, never building),
# adds what a Debian package carries beyond the install rules (copyright,
# changelog, compressed manual pages, stripped binaries), computes Depends
# from the binaries with dpkg-shlibdeps and builds the package with dpkg-deb.
set -euo pipefail

[ $# -eq 3 ] || { echo "usage: make_deb.sh OUT VERSION BUILD_LINUX" >&2; exit 2; }
out=$1
version=$2
build=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
package=palvex
arch=amd64
multiarch=x86_64-linux-gnu
maintainer="Tavrin <palvex@tavrin.example>"

die() { echo "make_deb.sh: $*" >&2; exit 1; }

[[ $version =~ ^[0-9][A-Za-z0-9.+~]*$ ]] || die "not a version: '$version'"
cache=$build/CMakeCache.txt
[ -f "$cache" ] || die "$build is not a CMake build folder (no CMakeCache.txt)"
cached() { sed -n "s/^$1:[A-Z]*=//p" "$cache"; }
prefix=$(cached CMAKE_INSTALL_PREFIX)
[ "$prefix" = /usr ] || die "$build is configured with CMAKE_INSTALL_PREFIX=$prefix; the package" \
    "needs /usr (the programs find the module and the Python package its folder from it):" \
    "configure it with -DCMAKE_INSTALL_PREFIX=/usr"
[ "$(cached PALVEX_SANITIZE)" != ON ] || die "$build is built with the sanitizers"
[ "$(cached CMAKE_INSTALL_LIBDIR)" = "lib/$multiarch" ] ||
    die "$build installs its libraries into $(cached CMAKE_INSTALL_LIBDIR), not lib/$multiarch"
for program in cli/palvex tool/dravel sim/cardsim control/libpalvex.so.1; do
    [ -e "$build/$program" ] || die "$build has no $program: build it first"
done
source_dir=$(cached CMAKE_HOME_DIRECTORY)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
umask 022

# The files the install rules give.
DESTDIR=$root cmake --install "$build" > "$work/install.log" ||
    { cat "$work/install.log" >&2; die "cmake --install failed"; }
doc=$root/usr/share/doc/$package
if [ ! -d "$root/usr/bin" ] || [ ! -f "$root/usr/lib/$multiarch/libpalvex.so.1" ]; then
    die "the installed tree lacks the programs or the module"
fi

# Binaries as dh_strip leaves them: no debugging symbols, no compiler notes.
elf_files=()
while IFS= read -r -d '' f; do
    if [ "$(head -c 4 "$f" | od -An -tx1 | tr -d ' ')" = 7f454c46 ]; then
        strip --strip-unneeded --remove-section=.comment --remove-section=.note "$f"
        elf_files+=("$f")
    fi
done < <(find "$root" -type f -print0)

# Manual pages compressed, as Debian keeps them; the documents the
# package's folder must hold.
find "$root/usr/share/man" -type f -name '*.[0-9]' -exec gzip -9n {} +
install -d "$doc"
install -m 0644 "$here/copyright" "$doc/copyright"
# The package is native (its version has no Debian revision), so its one
# changelog is changelog.gz. Its date: the source's last commit, else now.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || date +%s)}
{
    echo "$package ($version) unstable; urgency=medium"
    echo
    echo "  * Release $version."
    echo
    echo " -- $maintainer  $(LC_ALL=C date -u -R -d "@$epoch")"
} > "$work/changelog"
gzip -9n -c "$work/changelog" > "$doc/changelog.gz"

# Nothing of the build machine: no file may name the build or source folder.
if grep -rlF -e "$build" -e "$source_dir" "$root" > "$work/paths"; then
    # palvex and dravel keep their build folder, to take the module built
    # with them when they run from there; installed, that check never matches.
    grep -v -e "^$root/usr/bin/palvex\$" -e "^$root/usr/bin/dravel\$" "$work/paths" \
        > "$work/paths.bad" || true
    [ ! -s "$work/paths.bad" ] || die "files name the build folder: $(tr '\n' ' ' < "$work/paths.bad")"
fi

# Python modules compiled on use (by root) leave __pycache__ beside them;
# removing the package takes those along.
python_dir=$root/usr/lib/python3/dist-packages/$package
mkdir -p "$root/DEBIAN"
depends_extra=()
if [ -d "$python_dir" ]; then
    depends_extra+=(python3)
    cat > "$root/DEBIAN/prerm" <<'SH'
#!/bin/sh
# Byte code Python wrote beside the package's modules.
set -e
rm -rf "$DPKG_ROOT/usr/lib/python3/dist-packages/palvex/__pycache__"
SH
    chmod 0755 "$root/DEBIAN/prerm"
fi

# Depends from the libraries the binaries link (dpkg-shlibdeps reads the
# package name from a debian/control of its own).
mkdir -p "$work/src/debian"
printf 'Source: %s\n\nPackage: %s\nArchitecture: %s\n' "$package" "$package" "$arch" \
    > "$work/src/debian/control"
shlibs=$(cd "$work/src" && dpkg-shlibdeps -O -l"$root/usr/lib/$multiarch" \
    "${elf_files[@]/#/-e}" 2> "$work/shlibdeps.log") ||
    { cat "$work/shlibdeps.log" >&2; die "dpkg-shlibdeps failed"; }
grep -v "no dependency information found\|useless dependency\|unnecessarily linked" \
    "$work/shlibdeps.log" >&2 || true
depends=${shlibs#shlibs:Depends=}
for d in "${depends_extra[@]}"; do depends="$depends, $d"; done

# The module's own shared-library information and the loader cache's
# trigger, so the module is found by name (dlopen("libpalvex.so.1")).
soversion=$(readlink "$root/usr/lib/$multiarch/libpalvex.so.1" | sed 's/^libpalvex\.so\.//')
echo "libpalvex 1 $package (>= ${soversion})" > "$root/DEBIAN/shlibs"
echo "activate-noawait ldconfig" > "$root/DEBIAN/triggers"

installed_size=$(du -k -s --apparent-size --exclude=DEBIAN "$root" | cut -f1)
cat > "$root/DEBIAN/control" <<EOF
Package: $package
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $installed_size
Depends: $depends
Section: electronics
Priority: optional
Description: link control and configuration tool for LED display controller cards
 Palvex drives the controller cards of LED display screens of the
 communication type over a serial line, a Hayes modem or TCP. It builds the
 cards' CRC-checked command frames, sends pictures, fonts, program lists,
 text and lines, sets the clock, brightness, relays and schedules, and reads
 the card's status.
 .
 This package holds:
  - libpalvex.so.1, the link control module, with its C interface, headers,
    pkg-config file and CMake package;
  - palvex, a command-line host that calls the control's methods;
  - dravel, the configuration tool (Qt dialogs in Chinese, and the same
    logic on the command line) that finds a D-type card on COM1 to COM8 and
    writes its screen settings;
  - cardsim, a simulated card on a pseudo-terminal or a TCP port;
  - the Python package palvex over the module's C interface;
  - a udev rule that gives USB serial ports to the group dialout.
EOF
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/shlibs" "$root/DEBIAN/triggers"
(cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z |
    xargs -0 md5sum) > "$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/md5sums"
# Every file dated the same, so equal inputs give equal packages.
find "$root" -exec touch -h -d "@$epoch" {} +

mkdir -p "$out"
deb=$out/${package}_${version}_${arch}.deb
SOURCE_DATE_EPOCH=$epoch dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" > /dev/null
echo "make_deb.sh: $deb ($(du -k "$deb" | cut -f1) KiB; Depends: $depends)"
