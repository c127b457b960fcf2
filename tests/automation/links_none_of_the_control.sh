#!/usr/bin/env bash
# links_none_of_the_control.sh PROGRAM CONTROL_LIBRARY...
#
# PROGRAM holds none of the link control's code: it reaches the control only
# through the module it loads (palvex, dravel), or it is an implementation of
# its own (cardsim, the simulated card). Fails when PROGRAM
#   - names one of the control's classes or dispatch-table functions, or
#   - defines any function that one of the CONTROL_LIBRARY files (the
#     control's layers, libpalvex_protocol.a to libpalvex_dispatch.a)
#     defines: a CRC, a frame routine, a string allocator, a line setting...
# nm fails the test (exit 2) if it cannot read any of the files.
set -uo pipefail
program=$1
shift
libraries=("$@")
[ ${#libraries[@]} -gt 0 ] || { echo "no control library named"; exit 2; }

syms=$(nm -C "$program") || { echo "nm cannot read $program"; exit 2; }
grep -q ' main$' <<<"$syms" || { echo "no symbols read from $program"; exit 2; }

status=0
if grep -E 'CPalvexCtrl|CCommandSet|CFrameProtocol|CSerialLine|palvex::InvokeMethod|palvex::AllDispatchEntries|palvex::FindEntryBy' <<<"$syms"; then
    echo "$program holds the control's classes"
    status=1
fi

# Functions the control's libraries define (its own text symbols, not the
# inline and template code it shares with everyone), by name.
control=$(nm -C --defined-only "${libraries[@]}" 2>/dev/null | awk '$2 == "T" { $1 = ""; $2 = ""; sub(/^  /, ""); print }' |
          sort -u) || { echo "nm cannot read ${libraries[*]}"; exit 2; }
[ -n "$control" ] || { echo "no functions read from ${libraries[*]}"; exit 2; }
defined=$(nm -C --defined-only "$program" | awk '$2 ~ /^[Tt]$/ { $1 = ""; $2 = ""; sub(/^  /, ""); print }' | sort -u)
shared=$(comm -12 <(printf '%s\n' "$control") <(printf '%s\n' "$defined"))
if [ -n "$shared" ]; then
    echo "$program holds functions of the control's libraries:"
    sed 's/^/  /' <<<"$shared" | head -40
    status=1
fi
[ $status -eq 0 ] && echo "$program: none of the control's code"
exit $status
