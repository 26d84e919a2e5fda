#!/bin/bash
# orvodial --line-settings and --dialing-properties as the desktop's actions open them: the
# real program under a fresh X server (run it under xvfb-run), typed into with xdotool. What
# the user accepts is saved into the configuration file, and the next start reads it.
set -u
orvodial=$1
. "$(dirname "$0")/x11_helpers.sh"
fail() { echo "FAIL: $*"; grep -v QStandardPaths "$work/err"; cat "$work/line.ini"; exit 1; }
printf '; my lines\n[line0]\ndriver=simulated\nname=Old name\n' >"$work/line.ini"
export ORVODIAL_TELEPHONY_CONFIG=$work/line.ini


# Opens the dialog of option $1, titled $2, lets function $3 type into it, and accepts it
# with Enter; the program must then end with status 0.
edit() {
    local option=$1 title=$2 typing=$3
    "$orvodial" "$option" 2>>"$work/err" &
    local pid=$!
    pids+=($pid)
    wait_for "the dialog '$title'" visible "^$title\$"
    xdotool windowfocus --sync "$(xdotool search --onlyvisible --name "^$title\$" | head -1)"
    $typing
    xdotool key Return
    local status=0
    for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "orvodial $option ended with $status"
}

rename() { xdotool key ctrl+a; xdotool type 'Desk line'; }
edit --line-settings 'Line 0 settings' rename
grep -qx 'name=Desk line' "$work/line.ini" || fail "the line's new name was not saved"
grep -qx '; my lines' "$work/line.ini" || fail "the file's comment was lost"
locate() { xdotool key ctrl+a; xdotool type '9,'; xdotool key Tab Tab ctrl+a; xdotool type 206; }
edit --dialing-properties 'Dialing properties' locate
grep -qx 'outside_prefix=9,' "$work/line.ini" || fail "the outside-line prefix was not saved"
grep -qx 'area_code=206' "$work/line.ini" || fail "the area code was not saved"

# The next start reads both without a complaint and comes up on the line.
"$orvodial" 2>>"$work/err" &
pids+=($!)
wait_for "the dial window" visible '^Orvo Dial$'
if grep -v -e QStandardPaths -e 'XDG_RUNTIME' "$work/err" | grep -q .; then fail "complaints at start"; fi
echo "ok - --line-settings and --dialing-properties save what is accepted; the next start reads it"
