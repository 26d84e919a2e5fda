#!/bin/bash
# The dialer's first start without a telephone line set up (no configuration file), as a
# person meets it: the real orvodial under Xvfb, answered with the keyboard through
# xdotool. Before anything can be dialled it asks whether to set up a line: No keeps the
# practice line and saves it in the user's own file (mode 600), so the next start asks
# nothing; Yes opens the line's settings dialog, and a cancelled dialog saves nothing.
set -u
orvodial=$1
. "$(dirname "$0")/x11_helpers.sh"
fail() { echo "FAIL: $*"; grep -v QStandardPaths "$work/err"; exit 1; }
export XDG_CONFIG_HOME=$work/config
unset ORVODIAL_TELEPHONY_CONFIG
file=$work/config/orvodial/telephony.ini

dialer=
start() {
    "$orvodial" 2>>"$work/err" &
    dialer=$!
    pids+=($dialer)
    wait_for "the dial window" visible '^Orvo Dial$'
}
stop() {
    kill "$dialer"
    wait "$dialer" 2>/dev/null
    wait_for "the dialer to end" gone '^Orvo Dial$'
}

# Yes, then Cancel: nothing is saved, and the next start asks again.
start
answer Return
wait_for "the line's settings dialog" visible '^Line 0 settings$'
dialog=$(xdotool search --onlyvisible --name '^Line 0 settings$' | head -1)
xdotool windowfocus --sync "$dialog" key Escape
wait_for "the dialog to close" gone '^Line 0 settings$'
[ -e "$file" ] && fail "a cancelled dialog saved $file"
stop

# No: the practice line is saved, the user's own.
start
answer Tab Return
wait_for "the practice line saved" test -s "$file"
grep -qx 'driver=simulated' "$file" || fail "no practice line in $file: $(cat "$file")"
[ "$(stat -c %a "$file")" = 600 ] || fail "$file has mode $(stat -c %a "$file")"
stop

# Configured now: no question. It would come before any key is handled, and take the
# keys typed; they dial instead.
: >"$work/trace"
export ORVODIAL_TAPI_TRACE=$work/trace
start
dial=$(xdotool search --onlyvisible --name '^Orvo Dial$' | head -1)
xdotool windowfocus --sync "$dial" type 5
xdotool key Return
wait_for "a dial of 5, not a question" dialled 5
answer Tab Return # "Time call?" No
[ -e "$work/config/orvodial" ] && [ "$(ls "$work/config/orvodial")" = telephony.ini ] || fail "other files saved"
stop
echo "ok - the first start asks about the practice line; No saves it, Yes opens the settings dialog"
