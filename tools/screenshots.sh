#!/bin/bash
# Takes the README's screenshots from the real program: starts it on a virtual X server
# (run this under xvfb-run) with a window manager for the title bars, types a number,
# answers Yes to "Time call?" and captures the dial window and the call timing window.
#   xvfb-run -a -s "-screen 0 1280x1024x24" tools/screenshots.sh build/app/orvodial [SCALE]
# At SCALE 1 (the default) it writes docs/dial-window.png and docs/timing-window.png; at
# another scale factor (QT_SCALE_FACTOR, e.g. 2) docs/dial-window-<SCALE>x.png and
# docs/timing-window-<SCALE>x.png.
# Needs xdotool, ImageMagick and twm (any window manager will do; without one the
# windows have no title bars).
set -eu
orvodial=$(realpath "$1")
scale=${2:-1}
suffix=
[ "$scale" = 1 ] || suffix="-${scale}x"
export QT_SCALE_FACTOR=$scale
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=xcb

if command -v twm >/dev/null; then
    printf 'RandomPlacement\nNoGrabServer\nBorderWidth 1\n' >"$work/twmrc"
    for f in TitleFont ResizeFont MenuFont IconFont IconManagerFont; do echo "$f \"fixed\"" >>"$work/twmrc"; done
    twm -f "$work/twmrc" >/dev/null 2>&1 &
    sleep 0.5
fi
printf '[line0]\ndriver=simulated\nname=Simulated line\n' >"$work/sim.ini"

ORVODIAL_TELEPHONY_CONFIG=$work/sim.ini "$orvodial" &
dial=$(xdotool search --sync --onlyvisible --name '^Orvo Dial$' | head -1)
xdotool windowmove "$dial" 20 30 windowfocus --sync "$dial"
sleep 0.5
xdotool type --delay 80 "555-1212"
sleep 0.3
import -frame -window "$dial" "$root/docs/dial-window$suffix.png"

xdotool key Return
box=$(xdotool search --sync --onlyvisible --name '^OrvoDial$' | head -1)
sleep 1.5
xdotool windowfocus --sync "$box" key Return
timing=$(xdotool search --sync --onlyvisible --name '^Call Timing$' | head -1)
xdotool windowmove "$timing" $((40 + 220 * ${scale%.*})) 30
sleep 3.2
import -frame -window "$timing" "$root/docs/timing-window$suffix.png"

echo "wrote docs/dial-window$suffix.png docs/timing-window$suffix.png"
