#!/bin/bash
# The real orvodial binary on an X server (run under xvfb-run), driven by xdotool as a
# person would use it, started with no line device: the run-time error box appears, the
# dial window never does, and OK ends the program with a non-zero status and the error on
# standard error.
set -u
orvodial=$1
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
# On the X server, whatever platform the test runner chose for the other tests.
export QT_QPA_PLATFORM=xcb

# Waits up to 10 s for a window whose name matches exactly; prints its id.
wait_window() {
    local name=$1 id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^${name}\$" 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# ---- 1. No line device ----
printf '# no line devices\n[location]\n' >"$work/none.ini"
# Leak checking off for this run in sanitizer builds: the X11 platform's D-Bus library
# leaks a buffer of its own, which would change the exit status checked below.
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
    ORVODIAL_TELEPHONY_CONFIG=$work/none.ini "$orvodial" 2>"$work/err1.txt" &
pid=$!
box=$(wait_window OrvoDial) || fail "no error box"
xdotool search --onlyvisible --name '^Orvo Dial$' >/dev/null 2>&1 && fail "dial window shown before the error"
xdotool windowfocus --sync "$box" key Return
wait "$pid"
status=$?
pid=
[ "$status" -eq 1 ] || fail "exit status $status after error 380, expected 1"
grep -q "Run-time error '380':" "$work/err1.txt" || fail "no error on stderr: $(cat "$work/err1.txt")"
echo "ok 1 - no line device: status $status, error 380 reported, no dial window"
