#!/bin/bash
# The Debian package on a clean Debian 12: built and checked by lintian (tools/build-deb),
# then installed with apt into a fresh minimal root made by debootstrap, from the package
# sources this machine uses. Inside that root the dialer answers --version and starts on
# the simulated line with no configuration file (the trace shows the line application and
# the line's capabilities); the desktop entry validates; purging leaves none of its files.
# The debootstrap root is made once and kept as a tarball in OUT, so later runs only unpack
# it. Needs root (debootstrap, chroot, mounting /proc in the root).
#   tests/app/deb_install_test.sh [OUT]      (default: build-deb)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
out=$(realpath -m "${1:-$here/build-deb}")
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
mirror=${mirror:-http://deb.debian.org/debian}
cache=$out/bookworm-minbase.tar
root=$out/root
fail() { echo "FAIL: $*"; exit 1; }

"$here/tools/build-deb" "$out"
deb=$(ls "$out"/orvodial_*_amd64.deb)

if [ ! -f "$cache" ]; then
    rm -rf "$out/debootstrap"
    debootstrap --variant=minbase bookworm "$out/debootstrap" "$mirror" >"$out/debootstrap.log" 2>&1 ||
        { tail -20 "$out/debootstrap.log"; fail "debootstrap"; }
    tar -C "$out/debootstrap" -cf "$cache.part" . && mv "$cache.part" "$cache"
    rm -rf "$out/debootstrap"
fi

# Dialers running inside the root (their PIDs), which must not outlive the test.
strays() {
    local p
    for p in $(pgrep -x orvodial); do
        [ "$(readlink "/proc/$p/root")" != "$root" ] || echo "$p"
    done
}
cleanup() {
    [ -n "${dialer:-}" ] && kill "$dialer" 2>/dev/null
    for p in $(strays); do kill -9 "$p"; done
    mountpoint -q "$root/proc" && umount "$root/proc"
    rm -rf "$root"
}
trap cleanup EXIT
rm -rf "$root"
mkdir -p "$root"
tar -C "$root" -xf "$cache"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root DEBIAN_FRONTEND=noninteractive "$@"; }

in_root apt-get update -q >"$out/apt.log" 2>&1 || { tail "$out/apt.log"; fail "apt-get update"; }
in_root apt-get install -y -q "/tmp/$(basename "$deb")" >>"$out/apt.log" 2>&1 ||
    { tail -20 "$out/apt.log"; fail "apt-get install of the package"; }
echo "installed with its dependencies in a fresh Debian 12 root"

# The program says the version the package carries (1.00 of 1.00-1).
version=$(dpkg-deb -f "$deb" Version)
[ "$(in_root orvodial --version)" = "OrvoDial ${version%-*}" ] || fail "orvodial --version is not ${version%-*}"
desktop-file-validate "$root/usr/share/applications/orvodial.desktop" || fail "the desktop entry"

# Started as a plain command, not through in_root: a function in the background runs in a
# subshell of its own, and $! would be that subshell, not the dialer (chroot, env and sh
# each exec the next, so here $! is the dialer's PID).
chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    sh -c 'rm -rf /root/.config; QT_QPA_PLATFORM=offscreen ORVODIAL_TAPI_TRACE=/tmp/trace exec orvodial' \
    >"$out/start.log" 2>&1 &
dialer=$!
for _ in $(seq 600); do
    grep -q '^lineGetDevCapsA .* -> 0$' "$root/tmp/trace" 2>/dev/null && break
    kill -0 "$dialer" 2>/dev/null || break
    sleep 0.05
done
grep -q '^lineInitializeExA .* -> 0$' "$root/tmp/trace" 2>/dev/null || { cat "$out/start.log"; fail "no line application"; }
grep -q '^lineGetDevCapsA .* -> 0$' "$root/tmp/trace" || { cat "$out/start.log"; fail "no line capabilities"; }
kill -0 "$dialer" 2>/dev/null || { cat "$out/start.log"; fail "the dialer ended by itself"; }
kill "$dialer"
wait "$dialer" 2>/dev/null || true
dialer=
[ -z "$(strays)" ] || fail "a dialer is still running in the root (PID $(strays))"
echo "the dialer starts on the simulated line without a configuration file"

in_root apt-get purge -y -q orvodial >>"$out/apt.log" 2>&1 || fail "apt-get purge"
left=0
while read -r f; do
    [ -e "$root/$f" ] && { echo "left behind: $f"; left=1; }
done < <(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$')
[ $left -eq 0 ] || fail "files of the package left after purging"
echo "ok - the package installs, starts and purges cleanly on Debian 12"
