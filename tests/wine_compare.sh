# Sourced by the tests that hold a Windows program under Wine against its
# Linux build: the failure count, and the comparison of one run of each.
# The caller's run_linux and run_windows leave $work/linux.out, win.out,
# win.err and $linux_status, $win_status.

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# same_as_linux NAME DETAIL: the same standard output, byte for byte, and
# the same exit status; "ok: NAME (DETAIL)" when they are.
same_as_linux() {
    local name=$1 detail=$2
    if ! cmp -s "$work/linux.out" "$work/win.out"; then
        fail "$name: standard output differs (Linux -, Windows +):"
        diff -u "$work/linux.out" "$work/win.out" | sed -n '3,40p'
        sed -n '1,5p' "$work/win.err"
    elif [ "$linux_status" != "$win_status" ]; then
        fail "$name: exit status $win_status, Linux $linux_status"
        sed -n '1,5p' "$work/win.err"
    else
        echo "ok: $name ($detail)"
    fi
}

# finish MESSAGE: the count of failures and status 1, or MESSAGE.
finish() {
    [ "$failures" -eq 0 ] || {
        echo "$failures failure(s)"
        exit 1
    }
    echo "$1"
}
