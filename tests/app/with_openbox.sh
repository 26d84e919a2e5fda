#!/bin/sh
# Runs a command on the X display of xvfb-run with openbox managing the windows, so that a
# test can close a window as a person does (Alt+F4: the window manager asks it to close).
# openbox is stopped by its PID when the command ends.
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
i=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
    i=$((i + 1))
    [ $i -le 200 ] || { echo "openbox did not start"; kill $wm 2>/dev/null; exit 1; }
    sleep 0.05
done
"$@"
status=$?
kill $wm 2>/dev/null
wait $wm 2>/dev/null
exit $status
