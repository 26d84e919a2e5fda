#!/bin/bash
# The keyboard after every modal window, as a person meets it: the real orvodial under a
# fresh X server (run it under xvfb-run) with the window manager named by $2 (twm, openbox
# or none), typed into with xdotool, checked against the telephony trace. After the Help
# box, "Time call?" (No and Yes), Done and "TAPI failure", digits typed at once must land
# at the end of the number box and letters never: the numbers dialled next show that.
# The pointer stays outside the windows, so no focus-follows-pointer rescues a window that
# does not take the keyboard back itself.
set -u
orvodial=$1
wm=$2
. "$(dirname "$0")/x11_helpers.sh"
fail() { echo "FAIL ($wm): $*"; cat "$work/err" | grep -v QStandardPaths | tail -5; [ -f "$work/trace" ] && grep -E '^line(MakeCallA|Open) ' "$work/trace"; exit 1; }
managed() { ! xwininfo -tree -id "$1" | grep -q 'Parent window id: .*(the root window)'; }

case $wm in
twm)
    printf 'NoGrabServer\nRandomPlacement\n' >"$work/twmrc" # placed without a click
    for f in TitleFont ResizeFont MenuFont IconFont IconManagerFont; do echo "$f \"fixed\"" >>"$work/twmrc"; done
    twm -f "$work/twmrc" >/dev/null 2>&1 &
    pids+=($!) ;;
openbox)
    openbox --sm-disable 2>/dev/null &
    pids+=($!) ;;
none) ;;
*) fail "unknown window manager" ;;
esac
# A window mapped while the window manager is still starting can be lost: wait until it
# is up (openbox announces itself on the root window; twm has made its own windows).
case $wm in
twm) wait_for "twm" sh -c 'xwininfo -root -children | grep -q "^ *0x"' ;;
openbox) wait_for "openbox" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ;;
esac
xdotool mousemove 630 470 # bottom right, away from the windows

# Starts the dialer on a simulated line with the extra settings in $1; a dialer already
# running is ended first.
dialer=
start() {
    if [ -n "$dialer" ]; then
        kill "$dialer"
        wait "$dialer" 2>/dev/null
        wait_for "the first dialer to end" gone '^Orvo Dial$'
    fi
    printf '[line0]\ndriver=simulated\nname=Simulated line\nreply_ms=0\ndialtone_ms=0\ndigit_ms=0\n%b' "$1" \
        >"$work/line.ini"
    : >"$work/trace"
    ORVODIAL_TELEPHONY_CONFIG=$work/line.ini ORVODIAL_TAPI_TRACE=$work/trace "$orvodial" 2>>"$work/err" &
    dialer=$!
    pids+=($dialer)
    wait_for "the dial window" visible '^Orvo Dial$'
    dial=$(xdotool search --onlyvisible --name '^Orvo Dial$' | head -1)
    [ "$wm" = none ] || wait_for "the window manager to manage the dial window" managed "$dial"
    xdotool windowfocus --sync "$dial" # the user clicks into the window once
}

back_to_dial() { wait_for "the keyboard back on the dial window" focused_on "$dial"; }
type_keys() { xdotool type --delay 15 "$1"; }

start ''
type_keys "12ab"
xdotool key shift+Tab Return # "?", the button before the number box, pressed by keyboard
answer Return
back_to_dial
type_keys "3c"
xdotool key Return
wait_for "a dial of 123 after Help" dialled 123
answer Tab Return # No
back_to_dial
type_keys "4d5"
xdotool key Return
wait_for "a dial of 45 after 'Time call?' No" dialled 45
answer Return # Yes: the timing window
wait_for "the timing window" visible '^Call Timing$'
timing=$(xdotool search --onlyvisible --name '^Call Timing$' | head -1)
xdotool windowfocus --sync "$timing" key Return # Done
wait_for "the timing window to hide" gone '^Call Timing$'
back_to_dial
type_keys "6e7"
xdotool key Return
wait_for "a dial of 67 after Done" dialled 67
answer Tab Return
back_to_dial

start 'refuse=0x80000005\nrefuse_at=call\n'
type_keys "8f9"
xdotool key Return
wait_for "a refused dial of 89" dialled 89
answer Return # "TAPI failure"; the number stays
back_to_dial
type_keys "0g"
xdotool key Return
wait_for "a dial of 890 after 'TAPI failure'" dialled 890
answer Return
back_to_dial
numbers=$(grep -o '^lineMakeCallA [0-9]* & "[^"]*"' "$work/trace" | sed 's/.*"\(.*\)"/\1/' | tr '\n' ' ')
[ "$numbers" = "89 890 " ] || fail "unexpected dials: $numbers"
echo "ok - $wm: the keyboard is back on the number box after Help, Time call? (No, Yes), Done and TAPI failure"
