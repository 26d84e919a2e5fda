#!/bin/bash
# The real orvodial binary on an X server (run under xvfb-run), driven by xdotool as a
# person would use it:
#  1. with no line device: the run-time error box appears, the dial window never does,
#     OK ends the program with a non-zero status and the error on standard error;
#  2. with a simulated line: type 555-1212, Enter, Enter on "Time call?" (Yes is
#     focused), Enter on the timing window (Done); the trace shows the call.
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
ORVODIAL_TELEPHONY_CONFIG=$work/none.ini "$orvodial" 2>"$work/err1.txt" &
pid=$!
box=$(wait_window OrvoDial) || fail "no error box"
xdotool search --onlyvisible --name '^Orvo Dial$' >/dev/null 2>&1 && fail "dial window shown before the error"
xdotool windowfocus --sync "$box" key Return
wait "$pid"
status=$?
pid=
[ "$status" -ne 0 ] || fail "exit status 0 after error 380"
grep -q "Run-time error '380':" "$work/err1.txt" || fail "no error on stderr: $(cat "$work/err1.txt")"
echo "ok 1 - no line device: status $status, error 380 reported, no dial window"

# ---- 2. A call through a simulated line ----
cat >"$work/sim.ini" <<'INI'
[line0]
driver=simulated
name=Simulated line
reply_ms=0
dialtone_ms=0
digit_ms=0
proceeding_ms=0
answer_ms=0
drop_ms=0
INI
ORVODIAL_TELEPHONY_CONFIG=$work/sim.ini ORVODIAL_TAPI_TRACE=$work/trace.txt "$orvodial" 2>"$work/err2.txt" &
pid=$!
dial=$(wait_window 'Orvo Dial') || fail "no dial window"
xdotool windowfocus --sync "$dial"
sleep 0.3
xdotool type --delay 30 "555-1212"
xdotool key Return
box=$(wait_window OrvoDial) || fail "no Time call? box"
# Answer once the call is up, as a person would who hears the other end.
for _ in $(seq 100); do grep -q '(CONNECTED)' "$work/trace.txt" 2>/dev/null && break; sleep 0.1; done
xdotool windowfocus --sync "$box" key Return
timing=$(wait_window 'Call Timing') || fail "no timing window after Yes"
xdotool windowfocus --sync "$timing" key Return
for _ in $(seq 50); do
    xdotool search --onlyvisible --name '^Call Timing$' >/dev/null 2>&1 || break
    sleep 0.1
done
xdotool search --onlyvisible --name '^Call Timing$' >/dev/null 2>&1 && fail "Done did not hide the timing window"
kill "$pid"
wait "$pid" 2>/dev/null
pid=

ops=$(grep -E '^(lineOpen|lineMakeCallA|lineDrop|lineClose) ' "$work/trace.txt" | cut -d' ' -f1 | tr '\n' ' ')
[ "$ops" = "lineOpen lineMakeCallA lineDrop lineClose " ] || fail "trace operations: $ops"
grep -qE '^lineOpen ([^ ]+ ){6}1 4 ' "$work/trace.txt" || fail "lineOpen not with privileges 1, media modes 4"
grep -q '^lineMakeCallA .*"555-1212"' "$work/trace.txt" || fail "lineMakeCallA without 555-1212"
echo "ok 2 - 555-1212 dialled, timed and released through the simulated line"
