#!/bin/sh
# Runs a command with a real keyring: gnome-keyring-daemon (secrets only) on the session
# bus this runs on (start it under dbus-run-session), its login keyring made and unlocked
# with a test password, in a home folder of its own. The daemon is stopped by its PID.
# Usage: keyring_session.sh COMMAND [ARG...]
set -u
work=$(mktemp -d)
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
export HOME=$work XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run"
printf 'orvodial-test' | gnome-keyring-daemon --foreground --unlock --components=secrets >"$work/env" 2>"$work/err" &
pid=$!
i=0
until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true'; do
    i=$((i + 1))
    [ $i -le 200 ] || { echo "FAIL: gnome-keyring-daemon did not start"; cat "$work/err"; exit 1; }
    sleep 0.05
done
"$@"
