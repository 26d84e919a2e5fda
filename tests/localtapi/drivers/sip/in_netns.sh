#!/bin/sh
# Runs a command in a network namespace of its own: loopback up and a veth pair with
# 10.77.0.1/24, an address that is not loopback (the SIP phones need one), and nothing
# leaves the machine. Whatever still runs in the namespace when the command ends is
# stopped, so that no peer outlives the test. Needs root: exits 77 (skipped) without it.
[ "$(id -u)" = 0 ] || { echo "not root: no network namespace"; exit 77; }
exec unshare -n -- sh -c '
    ip link set lo up &&
    ip link add sipv0 type veth peer name sipv1 &&
    ip addr add 10.77.0.1/24 dev sipv0 &&
    ip link set sipv0 up && ip link set sipv1 up || exit 77
    "$@"
    status=$?
    here=$(readlink /proc/$$/ns/net)
    for p in /proc/[0-9]*; do
        pid=${p#/proc/}
        [ "$pid" = $$ ] && continue
        [ "$(readlink "$p/ns/net" 2>/dev/null)" = "$here" ] && kill -9 "$pid" 2>/dev/null
    done
    exit $status' - "$@"
