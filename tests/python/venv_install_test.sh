#!/usr/bin/env bash
# The package as a user installs it: a fresh virtual environment (with the
# system's packages, so that pip and setuptools are Debian's), pip install
# --no-build-isolation of a copy of python/ (pip builds in the tree it is
# given), then the README's five lines against cardsim over TCP. No network:
# --no-index.
#
#   venv_install_test.sh PYTHON SOURCE_DIR MODULE CARDSIM
set -uo pipefail
python=$1 source=$2 module=$3 cardsim=$4
work=$(mktemp -d /tmp/palvex-venv-XXXXXX)
sim=
trap '[ -n "$sim" ] && kill "$sim"; wait; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$python" -c 'import setuptools' 2>/dev/null && "$python" -m pip --version >/dev/null 2>&1 ||
    { echo "skipped: $python has no pip or setuptools (python3-pip, python3-setuptools)"; exit 77; }
"$python" -m venv --system-site-packages --without-pip "$work/venv" || fail "venv"
cp -r "$source/python" "$work/src"
"$work/venv/bin/python" -m pip install --quiet --no-index --no-build-isolation \
    --disable-pip-version-check "$work/src" || fail "pip install"
[ -f "$work/venv/lib/python3"*/site-packages/palvex/py.typed ] || fail "py.typed not installed"

"$cardsim" --tcp 0 --verbose >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do grep -q "on tcp" "$work/sim.log" && break; sleep 0.05; done
port=$(sed -n 's/.*on tcp 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.log")
[ -n "$port" ] || fail "cardsim did not start"

cd "$work" # not the source tree: the installed package
out=$(PALVEX_MODULE=$module "$work/venv/bin/python" - "$port" <<'EOF'
import sys
import palvex
with palvex.open_tcp("127.0.0.1", int(sys.argv[1]), card=1, width=256, height=64) as card:
    print(card.property())
    card.show_text("欢迎光临")
print(palvex.__file__)
EOF
) || fail "the five lines: $out"
echo "$out"
[[ $out == *"CardProperty(ident='DDDD7', version='2.00', produced=datetime.date(2006, 1, 1), width=256, height=64"* ]] ||
    fail "no property"
grep -q 'text "欢迎光临"' "$work/sim.log" || fail "the text did not reach the card"
[[ $out == "$work/venv/"* || $out == *$'\n'"$work/venv/"* ]] || fail "not the installed package"
echo "PASS"
