#!/usr/bin/env bash
# COM numbers on a fake device tree: PALVEX_DEVICE_ROOT stands for "/", its
# sysfs holds one on-board UART, one on-board slot without a UART, two USB
# adapters and one ACM device, and their device nodes are links to cardsim
# ptys or plain files. Checks the numbers palvex ports gives, that they hold
# across unplugging, replugging under another node and new adapters, that
# the console is never probed, and that dravel finds a card behind an
# adapter with no PALVEX_COM variable set.
#
#   device_tree_test.sh PALVEX DRAVEL CARDSIM
set -uo pipefail
[ -n "${DEBUG:-}" ] && set -x
palvex=$1 dravel=$2 cardsim=$3

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
for v in $(env | grep -o '^PALVEX_COM[0-9]*'); do unset "$v"; done
unset PALVEX_TRACE
export PALVEX_DEVICE_ROOT=$work/root XDG_CONFIG_HOME=$work/config
root=$PALVEX_DEVICE_ROOT
mkdir -p "$root/sys/class/tty" "$root/dev/serial/by-id" "$root/dev/serial/by-path" "$XDG_CONFIG_HOME"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# onboard NAME TYPE: a port of the 8250 driver, as kernels since 6.5 show it:
# the tty's device is a port of the serial core's bus, under its controller,
# under the UART's platform device.
onboard() {
    local uart=$root/sys/devices/platform/serial8250 k=${1#ttyS}
    local port=$uart/serial8250:$k/serial8250:$k.0
    mkdir -p "$port/tty/$1"
    ln -sfn ../../../bus/platform/drivers/serial8250 "$uart/driver"
    ln -sfn ../../../../bus/serial-base/drivers/ctrl "$uart/serial8250:$k/driver"
    ln -sfn ../../../../../bus/serial-base/drivers/port "$port/driver"
    ln -sfn "../../../serial8250:$k.0" "$port/tty/$1/device"
    echo "$2" >"$port/tty/$1/type"
    ln -sfn "../../devices/platform/serial8250/serial8250:$k/serial8250:$k.0/tty/$1" "$root/sys/class/tty/$1"
    : >"$root/dev/$1"
}
# usb NAME BUSPORT VID PID MAKER PRODUCT SERIAL DRIVER BY-ID: a USB adapter.
# ttyUSB nodes hang under the usb-serial port, ttyACM ones under the interface.
usb() {
    local name=$1 dev=$root/sys/devices/pci0000:00/usb1/1-$2 iface tty
    iface=$dev/1-$2:1.0
    mkdir -p "$iface"
    echo "$3" >"$dev/idVendor"; echo "$4" >"$dev/idProduct"
    echo "$5" >"$dev/manufacturer"; echo "$6" >"$dev/product"; echo "$7" >"$dev/serial"
    if [[ $name == ttyACM* ]]; then
        tty=$iface/tty/$name
        mkdir -p "$tty"
        ln -sfn ../../../1-$2:1.0 "$tty/device"
        ln -sfn "../../../../../bus/usb/drivers/$8" "$iface/driver"
    else
        mkdir -p "$iface/$name/tty/$name"
        tty=$iface/$name/tty/$name
        ln -sfn "../../../$name" "$tty/device"
        ln -sfn "../../../../../../bus/usb-serial/drivers/$8" "$iface/$name/driver"
    fi
    ln -sfn "../../devices${tty#"$root/sys/devices"}" "$root/sys/class/tty/$name"
    [ -e "$root/dev/$name" ] || : >"$root/dev/$name"
    ln -sfn "../../$name" "$root/dev/serial/by-id/$9"
}
unplug() { # unplug NAME BY-ID
    rm -rf "$root/sys/class/tty/$1" "$root/dev/$1" "$root/dev/serial/by-id/$2"
}
# card PATH BAUD LOG: a simulated card (number 0, the one dravel looks for)
# whose pty slave is linked at PATH.
card() {
    rm -f "$1"
    "$cardsim" --pty "$1" --card 0 --baud "$2" --verbose >"$3" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -L "$1" ] && return 0; sleep 0.05; done
    fail "cardsim did not start on $1"
}
ports() { "$palvex" ports; }
line_of() { ports | grep "^$1 " ; }

ftdi=usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0
prolific=usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0
arduino=usb-Arduino__www.arduino.cc__0043_7573-if00
ch340=usb-1a86_USB_Serial-if00-port0

onboard ttyS0 4
onboard ttyS1 0
usb ttyUSB0 2 0403 6001 FTDI "FT232R USB UART" A10K3XYZ ftdi_sio "$ftdi"
usb ttyUSB1 3 067b 2303 "Prolific Technology Inc." "USB-Serial Controller" "" pl2303 "$prolific"
usb ttyACM0 4 2341 0043 Arduino "Arduino Uno" 7573 cdc_acm "$arduino"

echo "== the first scan"
ports
expect() { # expect COMn NODE SOURCE TEXT
    local l
    l=$(line_of "$1")
    [[ $l == *" $root/dev/$2 "* && $l == *" $3 "* && $l == *"$4"* ]] || fail "$1: want $2 $3 '$4', got '$l'"
}
expect COM1 ttyS0 automatic "on-board serial port, serial8250"
expect COM3 ttyACM0 automatic "Arduino Arduino Uno (2341:0043, serial 7573), cdc_acm"
expect COM4 ttyUSB0 automatic "FTDI FT232R USB UART (0403:6001, serial A10K3XYZ), ftdi_sio"
expect COM5 ttyUSB1 automatic "Prolific Technology Inc. USB-Serial Controller (067b:2303), pl2303"
[ "$(ports | wc -l)" -eq 4 ] || fail "want exactly COM1, COM3, COM4 and COM5"
"$palvex" ports --json | python3 -c '
import json, sys
ports = {p["port"]: p for p in json.load(sys.stdin)}
assert sorted(ports) == ["COM1", "COM3", "COM4", "COM5"], ports
assert ports["COM4"]["usb"]["vendor_id"] == "0403" and ports["COM4"]["driver"] == "ftdi_sio"
assert ports["COM4"]["stable_path"].endswith("by-id/'"$ftdi"'"), ports["COM4"]
assert ports["COM1"]["onboard"] and ports["COM1"]["source"] == "automatic"
' || fail "palvex ports --json"

echo "== unplug the FTDI adapter, plug in a new one, replug the FTDI as ttyUSB3"
unplug ttyUSB0 "$ftdi"
usb ttyUSB2 5 1a86 7523 "" "USB Serial" "" ch341 "$ch340"
ports
expect COM6 ttyUSB2 automatic "USB Serial (1a86:7523), ch341"
line_of COM4 | grep -q "not plugged in" || fail "COM4 must stay kept for the FTDI adapter"
usb ttyUSB3 6 0403 6001 FTDI "FT232R USB UART" A10K3XYZ ftdi_sio "$ftdi"
ports
expect COM3 ttyACM0 automatic "Arduino"
expect COM4 ttyUSB3 automatic "FTDI"
expect COM5 ttyUSB1 automatic "Prolific"
expect COM6 ttyUSB2 automatic "1a86:7523"

echo "== reorder: the FTDI and the Prolific adapter come back under each other's nodes"
unplug ttyUSB1 "$prolific"
unplug ttyUSB3 "$ftdi"
usb ttyUSB3 3 067b 2303 "Prolific Technology Inc." "USB-Serial Controller" "" pl2303 "$prolific"
usb ttyUSB1 6 0403 6001 FTDI "FT232R USB UART" A10K3XYZ ftdi_sio "$ftdi"
expect COM4 ttyUSB1 automatic "FTDI"
expect COM5 ttyUSB3 automatic "Prolific"

echo "== mapped by hand wins; forgetting releases a number"
PALVEX_COM5=/dev/null "$palvex" ports | grep -q "^COM5 .*/dev/null .*environment" || fail "PALVEX_COM5 must win"
"$palvex" ports --map COM6 /dev/zero >/dev/null || fail "ports --map"
line_of COM6 | grep -q "/dev/zero .*registry" || fail "a registry mapping must win"
"$palvex" ports --forget COM6 | grep -q "automatic: .*$ch340; registry: /dev/zero" ||
    fail "ports --forget COM6 must release both"
expect COM6 ttyUSB2 automatic "1a86:7523" # still plugged in: numbered again
unplug ttyUSB2 "$ch340"
"$palvex" ports --forget COM6 || fail "forgetting the remembered COM6"
"$palvex" ports --forget COM6 2>/dev/null && fail "forgetting twice must fail"
usb ttyUSB4 7 10c4 ea60 "Silicon Labs" "CP2102" 0001 cp210x usb-Silicon_Labs_CP2102-if00-port0
expect COM6 ttyUSB4 automatic "CP2102"

echo "== the console is never probed; dravel finds the card behind the FTDI adapter"
mkdir -p "$root/sys/class/tty/console"
echo "tty0 ttyS0" >"$root/sys/class/tty/console/active"
card "$root/dev/ttyS0" 9600 "$work/console.log"
card "$root/dev/ttyUSB1" 9600 "$work/ftdi.log"
line_of COM1 | grep -q "system console" || fail "COM1 must be shown as the console"
[ "$("$palvex" ComInitial 1 9600 300 2>"$work/err")" = "ComInitial false" ] || fail "COM1 (the console) must not open"
grep -q "COM1 open failed: no such device: COM1 is ttyS0, the system console" "$work/err" ||
    fail "palvex must say why COM1 does not open: $(cat "$work/err")"
out=$("$dravel" search --yes --verbose 2>&1)
echo "$out" | tail -3
[[ $out == *"在串口Com4(波特率:9600)"* ]] || fail "dravel must find the card on COM4"
grep -q "frame to" "$work/console.log" && fail "the console was written to"
grep -q "frame to" "$work/ftdi.log" || fail "the FTDI card saw no frame"
[ "$(PALVEX_COM1=$root/dev/ttyS0 "$palvex" ComInitial 1 9600 300)" = "ComInitial true" ] ||
    fail "a console mapped by hand must open"

[ -n "${KEEP:-}" ] && { echo "$work"; trap - EXIT; }
[ "$failures" -eq 0 ] && echo "all checks passed"
exit $((failures > 0))
