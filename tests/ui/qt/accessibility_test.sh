#!/bin/sh
# The real dialer as a screen reader finds it: on a private session bus (run it under
# dbus-run-session) with the accessibility bus started first, under Xvfb, on the
# simulated practice line; accessibility_client.py asks through AT-SPI. Everything started here is
# stopped by its PID.
# Usage: accessibility_test.sh ORVODIAL TABLE
set -u
orvodial=$1
table=$2
here=$(dirname "$0")
work=$(mktemp -d)
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    for p in $pids; do wait "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/run"
export HOME=$work XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 # the X11 platform's D-Bus library leaks

Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids="$pids $!"
i=0
until [ -s "$work/display" ]; do
    i=$((i + 1)); [ $i -le 200 ] || { echo "FAIL: Xvfb did not start"; exit 1; }
    sleep 0.05
done
export DISPLAY=:$(cat "$work/display")
# The accessibility bus before the program (Qt's bridge connects to it as it starts),
# started by the session bus on the first request and ended with it.
i=0
until dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -le 200 ] || { echo "FAIL: no accessibility bus"; exit 1; }
    sleep 0.05
done
# The practice line, set up: no question at the start.
mkdir -p "$work/config/orvodial"
printf '[line0]\ndriver=simulated\nname=Practice line\n' >"$work/config/orvodial/telephony.ini"
"$orvodial" 2>"$work/err" &
pids="$pids $!"
timeout 60 /usr/bin/python3 "$here/accessibility_client.py" "$table"
status=$?
[ $status -eq 0 ] || grep -v QStandardPaths "$work/err"
exit $status
