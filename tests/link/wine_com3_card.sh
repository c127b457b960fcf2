# Sourced by the Wine tests that talk to a simulated card:
#   start_com3_card CARDSIM WORKDIR [cardsim options...]
# starts the Linux cardsim on a pty that is COM3 of the Wine prefix
# ($WINEPREFIX) and on a loopback port (its number in $card_tcp_port), at
# 9600 bit/s unless the options give another --baud: Wine sets a pty's speed
# through the classic termios constants, which have no 14400 or 28800. No COM link but COM3's is left in the prefix,
# so nothing reaches a serial port of this machine. stop_com3_card ends it.
# Needs $wine (the Wine loader).

card_pty_link=$WINEPREFIX/palvex-com3 # where the registry points COM3 (wine_prefix.cmake)
card_pid=
card_tcp_port=

start_com3_card() {
    local cardsim=$1 dir=$2
    shift 2
    : >"$dir/cardsim.out" # there before the loop below reads it
    "$cardsim" --pty "$card_pty_link" --tcp 0 --baud 9600 "$@" >"$dir/cardsim.out" 2>&1 &
    card_pid=$!
    for _ in $(seq 100); do
        card_tcp_port=$(sed -n 's/.* on tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$dir/cardsim.out")
        [ -n "$card_tcp_port" ] && [ -L "$card_pty_link" ] && break
        sleep 0.05
    done
    if [ -z "$card_tcp_port" ]; then
        echo "FAIL: cardsim did not start:"
        cat "$dir/cardsim.out"
        return 1
    fi
    # The prefix reserves COM1 to COM255 (wine_prefix.cmake), but Wine gives
    # the first serial device of this machine the one number no value can
    # reserve, COM256, each time a Wine session starts. Start the session
    # now, then drop every COM link but the pty's.
    "$wine" cmd /c exit
    ln -sfn "$card_pty_link" "$WINEPREFIX/dosdevices/com3"
    local link
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [ "$(basename "$link")" = com3 ] && continue
        echo "hiding $(basename "$link") -> $(readlink "$link")"
        rm -f "$link"
    done
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [ "$(basename "$link")" = com3 ] && continue
        [ -e "$link" ] || [ -L "$link" ] || continue
        echo "FAIL: $link -> $(readlink "$link") would reach a port of this machine; not running"
        return 1
    done
}

stop_com3_card() {
    [ -n "$card_pid" ] && kill "$card_pid" 2>/dev/null && wait "$card_pid" 2>/dev/null
    card_pid=
}
