#!/usr/bin/env bash
# palvex run as an unprivileged user on a port only root may open: it still
# prints "ComInitial false", and says on standard error why, with the fix.
# Needs root (to make the port root-only and to drop to nobody) and setpriv;
# without them it exits 77, which CTest counts as skipped. palvex and its
# module are copied into a folder everyone may read, because the build tree
# may lie under one only its owner can enter; palvex finds the module there,
# beside itself, since nobody has no registration.
#
#   denied_port_test.sh PALVEX MODULE CARDSIM
set -uo pipefail
palvex=$1 module=$2 cardsim=$3
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null || ! getent passwd nobody >/dev/null ||
    ! getent group nogroup >/dev/null; then
    echo "skipped: needs root, setpriv, the user nobody and the group nogroup"
    exit 77
fi
work=$(mktemp -d /tmp/palvex-denied-XXXXXX)
sim=
trap '[ -n "$sim" ] && kill "$sim"; wait; rm -rf "$work"' EXIT
chmod 0755 "$work" && mkdir -m 1777 "$work/home"
cp "$palvex" "$work/palvex" && cp "$module" "$work/libpalvex.so.1" && chmod 0644 "$work/libpalvex.so.1"

# The port: the slave of a simulated card's pty, made root's alone.
"$cardsim" --pty "$work/port" >/dev/null 2>&1 &
sim=$!
for _ in $(seq 100); do [ -L "$work/port" ] && break; sleep 0.05; done
slave=$(readlink "$work/port") || { echo "FAIL: cardsim did not start"; exit 1; }
chown root:root "$slave" && chmod 0600 "$slave"

out=$(env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_CONFIG_HOME="$work/home" PALVEX_COM3="$slave" \
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$work/palvex" ComInitial 3 9600 800 \
    2>"$work/err")
err=$(cat "$work/err")
echo "stdout: $out"
echo "stderr: $err"
[ "$out" = "ComInitial false" ] || { echo "FAIL: want ComInitial false"; exit 1; }
for want in "palvex: COM3 open failed: permission denied (EACCES): $slave is owned by root:root mode 0600" \
    "the udev rule" "60-palvex-serial.rules" "sudo udevadm trigger"; do
    [[ $err == *"$want"* ]] || { echo "FAIL: stderr lacks: $want"; exit 1; }
done
