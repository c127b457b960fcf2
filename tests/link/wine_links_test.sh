#!/bin/bash
# wine_links_test.sh WINE CARDSIM TEST_PROGRAM [gtest options...]
#
# Runs the Windows link tests under Wine against one simulated card: COM3 of
# the Wine prefix ($WINEPREFIX, made by the fixture) is the card's pty, and
# the card listens on a loopback port. No COM link but COM3's is left in the
# prefix, so no test writes to a real port.
set -euo pipefail
wine=$1 cardsim=$2 program=$3
shift 3
: "${WINEPREFIX:?WINEPREFIX names the test prefix}"
# shellcheck source=wine_com3_card.sh
source "$(dirname "$0")/wine_com3_card.sh"

work=$(mktemp -d)
cleanup() {
    stop_com3_card
    rm -rf "$work"
}
trap cleanup EXIT

# PALVEX_TEST_CARD_BAUD: another speed for the card than the default 9600;
# PALVEX_TEST_CARD_OPTIONS: more of cardsim's options (--pace).
# shellcheck disable=SC2086 # the options' words
start_com3_card "$cardsim" "$work" ${PALVEX_TEST_CARD_BAUD:+--baud "$PALVEX_TEST_CARD_BAUD"} \
    ${PALVEX_TEST_CARD_OPTIONS:-}
PALVEX_TEST_TCP_PORT=$card_tcp_port "$wine" "$program" "$@"
