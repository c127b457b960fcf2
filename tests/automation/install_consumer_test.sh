#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds two small consumers of
# the installed control module: a C program found through pkg-config and a
# CMake project found through find_package(Palvex). Then runs the installed
# palvex, which must find the installed module beside it.
#   install_consumer_test.sh BUILD_DIR C_COMPILER
set -euo pipefail
build=$1
cc=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
pcdir=$(dirname "$(find "$prefix" -name palvex.pc)")

cat > "$work/consumer.c" <<'C'
#include <palvex_c.h>
#include <stdio.h>

int main(void) {
    palvex_control* c = NULL;
    if (palvex_create(NULL, &c) != PALVEX_OK) return 1;
    palvex_arg args[3] = {PALVEX_I2(1), PALVEX_I2(256), PALVEX_I2(64)};
    palvex_result r;
    if (palvex_invoke_name(c, "SetLedProperty", args, 3, &r, NULL) != PALVEX_OK) return 2;
    printf("%s %s %d\n", palvex_version()->internal_name, palvex_version()->file_version_text,
           r.value);
    palvex_destroy(c);
    return 0;
}
C
libdir=$(PKG_CONFIG_PATH=$pcdir pkg-config --variable=libdir palvex)
# shellcheck disable=SC2046
"$cc" "$work/consumer.c" -o "$work/consumer" \
    $(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs palvex) -Wl,-rpath,"$libdir"
out=$("$work/consumer")
[ "$out" = "Palvex 1, 0, 0, 1 1" ] || { echo "pkg-config consumer printed: $out"; exit 1; }

mkdir "$work/project"
cat > "$work/project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(Palvex 1.0 REQUIRED)
add_executable(consumer ../consumer.c)
target_link_libraries(consumer PRIVATE Palvex::palvex)
CMAKE
cmake -S "$work/project" -B "$work/project/build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_COMPILER="$cc" > "$work/cmake.log"
cmake --build "$work/project/build" > "$work/build.log"
out=$("$work/project/build/consumer")
[ "$out" = "Palvex 1, 0, 0, 1 1" ] || { echo "find_package consumer printed: $out"; exit 1; }

err=$(XDG_CONFIG_HOME=$work/config "$prefix/bin/palvex" --verbose GetSendStepNum 2>&1 >/dev/null)
case "$err" in
*"(installed beside the program)"*) ;;
*) echo "installed palvex: $err"; exit 1 ;;
esac
for f in include/palvex/palvex_c.h include/palvex/palvex_com.h include/palvex/palvex_guids.h \
         lib/udev/rules.d/60-palvex-serial.rules share/man/man1/palvex.1; do
    [ -f "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
# The installed Python package finds the installed module beside it.
if [ -x /usr/bin/python3 ]; then
    typed=$(find "$prefix" -path '*/palvex/py.typed')
    [ -n "$typed" ] || { echo "not installed: the Python package"; exit 1; }
    out=$(cd "$work" && env -u PALVEX_MODULE XDG_CONFIG_HOME=$work/config \
        PYTHONPATH="$(dirname "$(dirname "$typed")")" PYTHONDONTWRITEBYTECODE=1 \
        /usr/bin/python3 -c 'import palvex; print(palvex.load_module().path)')
    [ "$out" = "$(realpath "$libdir")/libpalvex.so.1" ] || { echo "installed Python package: $out"; exit 1; }
fi
echo "installed and consumed through pkg-config and find_package"
