#!/bin/bash
# The real orvodial binary under xvfb-run, driven by xdotool, with no line device: the
# run-time error box appears, the dial window never does, and OK ends the program with
# status 1 and the error on standard error.
set -u
orvodial=$1
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export QT_QPA_PLATFORM=xcb # whatever platform the runner chose for the other tests
# A runtime directory of its own: no dialer running elsewhere for this user is reached.
mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR=$work/run

printf '# no line devices\n[location]\n' >"$work/none.ini"
# No leak check in sanitizer builds: the X11 platform's D-Bus library leaks on its own.
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
    ORVODIAL_TELEPHONY_CONFIG=$work/none.ini "$orvodial" 2>"$work/err.txt" &
pid=$!
box=$(timeout 30 xdotool search --sync --onlyvisible --name '^OrvoDial$' | head -1)
[ -n "$box" ] || fail "no error box"
xdotool search --onlyvisible --name '^Orvo Dial$' >/dev/null 2>&1 && fail "dial window shown before the error"
xdotool windowfocus --sync "$box" key Return
wait "$pid"
status=$?
[ "$status" -eq 1 ] || fail "exit status $status after error 380, expected 1"
grep -q "Run-time error '380':" "$work/err.txt" || fail "no error on stderr: $(cat "$work/err.txt")"
echo "ok - no line device: status 1, error 380 reported, no dial window"
