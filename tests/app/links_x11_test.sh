#!/bin/bash
# One running dialer and its links, as a desktop uses them: the real orvodial under a fresh
# X server (run it under xvfb-run), no window manager, typed into with xdotool, checked
# against the telephony trace. A second start hands its link to the first and ends; a link
# during an open "Time call?" box lands after it; a refused link changes nothing; another
# user's dialer (another runtime directory) is not reached; a crashed dialer's socket is
# taken over by the next one.
set -u
orvodial=$1
. "$(dirname "$0")/x11_helpers.sh"
fail() { echo "FAIL: $*"; grep -v QStandardPaths "$work/err" | tail -5; grep '^lineMakeCallA' "$work/trace"; exit 1; }
mkdir -m 700 "$work/run2"
printf '[line0]\ndriver=simulated\nname=Simulated line\nreply_ms=0\ndialtone_ms=0\ndigit_ms=0\n' >"$work/line.ini"
export ORVODIAL_TELEPHONY_CONFIG=$work/line.ini ORVODIAL_TAPI_TRACE=$work/trace
: >"$work/trace"

windows() { xdotool search --onlyvisible --name '^Orvo Dial$' 2>/dev/null | wc -l; }
count_is() { [ "$(windows)" -eq "$1" ]; }
dials() { grep -c '^lineMakeCallA' "$work/trace"; }
start_dialer() { "$orvodial" "$@" 2>>"$work/err" & pids+=($!); }
# A later start: it must end by itself, with the status given.
start_again() {
    local status=$1
    shift
    timeout 20 "$orvodial" "$@" 2>>"$work/err"
    local got=$?
    [ "$got" -eq "$status" ] || fail "orvodial $* ended with $got, expected $status"
}
answer_no() {
    wait_for "Time call?" visible '^OrvoDial$'
    xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^OrvoDial$' | head -1)" key Tab Return
    wait_for "the box to close" gone '^OrvoDial$'
}

start_dialer 'tel:+1-206-555-1212;ext=9'
first=$!
wait_for "the dial window" count_is 1
dial=$(xdotool search --onlyvisible --name '^Orvo Dial$')
wait_for "the dial window to take the keyboard" focused_on "$dial"
xdotool key Return
wait_for "a dial of the link's number" dialled '+1-206-555-1212'
answer_no

start_again 0 'callto://555-0100'
count_is 1 || fail "a second dial window"
wait_for "the dial window to come forward" focused_on "$dial"
xdotool key Return
wait_for "a dial of the second start's link" dialled 555-0100
answer_no

xdotool type 777
xdotool key Return
wait_for "a dial of 777" dialled 777
wait_for "Time call?" visible '^OrvoDial$'
start_again 0 'tel:888' # while the box is up
answer_no
wait_for "the keyboard back" focused_on "$dial"
xdotool key Return
wait_for "the link that waited for the command" dialled 888
answer_no

before=$(dials)
start_again 2 'mailto:someone@example.com'
grep -q "not a tel:, callto: or sip: link" "$work/err" || fail "no reason given for a refused link"
start_again 2 'tel:555%001212'
xdotool type 9
xdotool key Return
wait_for "a dial of 9" dialled 9
[ "$(dials)" -eq $((before + 1)) ] || fail "a refused link changed the number box"
answer_no

XDG_RUNTIME_DIR=$work/run2 ORVODIAL_TAPI_TRACE=$work/trace2 start_dialer 'tel:444'
wait_for "another user's own dialer" count_is 2
kill "${pids[-1]}"
wait_for "the other user's dialer to end" count_is 1

kill -9 "$first" # a crash: its socket stays behind
wait "$first" 2>/dev/null
wait_for "the crashed dialer's window to go" count_is 0
[ -S "$work/run/orvodial-dialer" ] || fail "no socket left behind by the crashed dialer"
start_dialer 'tel:333'
wait_for "a new dialer over the stale socket" count_is 1
dial=$(xdotool search --onlyvisible --name '^Orvo Dial$')
wait_for "the new dialer to take the keyboard" focused_on "$dial"
xdotool key Return
wait_for "a dial in the new dialer" dialled 333
answer_no
start_again 0 'tel:222'
count_is 1 || fail "the new dialer was not reached"
echo "ok - one running dialer: links handed over, waiting for the command, refused, per user, stale socket"
