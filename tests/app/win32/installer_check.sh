#!/usr/bin/env bash
# The Windows installer in a fresh Wine prefix, as a user would run it silently: for all
# users, then for the current user only. Each time the files, the Start menu entry, the
# "Apps & features" keys and the tel:/callto: keys must be there, and after the silent
# uninstaller every one of them gone. A scheme another program already opens (callto:, in
# the one-user run) is left as it was, installed and uninstalled. Arguments: the Wine
# program, the installer; with WINEARCH=win32 (and 32-bit Wine's `wine`) the prefix is a 32-bit Windows.
set -uo pipefail
WINE=$1
SETUP=$2
WINESERVER=$(dirname "$WINE")/wineserver
[ -x "$WINESERVER" ] || WINESERVER=wineserver
export WINEPREFIX=$(mktemp -d /tmp/orvodial-installer.XXXXXX) WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -n "${WINEARCH:-}" ] && export WINEARCH
trap '"$WINESERVER" -k 2>/dev/null; rm -rf "$WINEPREFIX"' EXIT
failed=0
fail() { echo "FAILED: $*"; failed=1; }
run() { "$WINE" "$@" >/dev/null 2>&1; "$WINESERVER" -w; } # and wait for what it started
# The key's (or the value's) lines; nothing when it does not exist. When Wine itself fails
# to run reg (rather than reg saying the key is missing; Wine's reg says so on standard
# output), it is tried again, and said.
key() {
    local out attempt
    for attempt in 1 2 3; do
        if out=$("$WINE" reg query "$1" ${2:+/v "$2"} 2>&1); then
            tr -d '\r' <<<"$out"
            return 0
        fi
        grep -q "Unable to find" <<<"$out" && return 1
        echo "(reg query $1${2:+ /v $2}, attempt $attempt: $(tr -d '\r' <<<"$out" | head -3))" >&2
    done
    return 1
}

run wineboot -i
C="$WINEPREFIX/drive_c"
for mode in AllUsers CurrentUser; do
    echo "--- /$mode"
    if [ $mode = AllUsers ]; then
        dir="$C/Program Files/OrvoDial" menu="$C/ProgramData/Microsoft/Windows/Start Menu/Programs"
        root=HKLM
    else
        dir=$(find "$C/users" -maxdepth 1 -mindepth 1 -type d ! -name Public | head -1)
        menu="$dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
        dir="$dir/AppData/Local/Programs/OrvoDial" root=HKCU
    fi
    uninst="$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvoDial"
    other='"C:\Other\phone.exe" "%1"'
    if [ $mode = CurrentUser ]; then # callto: is another program's
        run reg add 'HKCU\Software\Classes\callto\shell\open\command' /ve /d "$other" /f
        ours=tel
    else
        ours="tel callto"
    fi
    run "$SETUP" /$mode /S
    for f in "$dir/OrvoDial.exe" "$dir/uninstall.exe" "$menu/OrvoDial.lnk"; do
        [ -f "$f" ] || fail "$f not installed"
    done
    for v in DisplayName DisplayIcon DisplayVersion Publisher EstimatedSize UninstallString QuietUninstallString; do
        key "$uninst" $v | grep -q "$v" || fail "$uninst has no $v"
    done
    key "$uninst" DisplayVersion | grep -q "1.00" || fail "DisplayVersion is not 1.00"
    key "$root\\Software\\Classes\\OrvoDial.Link\\shell\\open\\command" | grep -q 'OrvoDial.exe" "%1"' ||
        fail "no command for links"
    for scheme in tel callto; do
        key "$root\\Software\\OrvoDial\\Capabilities\\URLAssociations" $scheme | grep -q OrvoDial.Link ||
            fail "no URL association for $scheme"
    done
    key "$root\\Software\\RegisteredApplications" OrvoDial | grep -q 'Software\\OrvoDial\\Capabilities' ||
        fail "not among the registered applications"
    for scheme in $ours; do
        key "$root\\Software\\Classes\\$scheme\\shell\\open\\command" | grep -q 'OrvoDial.exe" "%1"' ||
            fail "$scheme: links do not open OrvoDial"
        key "$root\\Software\\Classes\\$scheme" "URL Protocol" | grep -q "URL Protocol" ||
            fail "$scheme: no URL Protocol"
    done
    if [ $mode = CurrentUser ]; then
        key 'HKCU\Software\Classes\callto\shell\open\command' | grep -qF 'Other\phone.exe' ||
            fail "callto: taken from the program that had it"
    fi

    # The uninstaller as "Apps & features" would run it, silently.
    quiet=$(key "$uninst" QuietUninstallString | sed -n 's/.*REG_SZ *//p')
    exe=$(sed -n 's/^"\([^"]*\)".*/\1/p' <<<"$quiet")
    run "$exe" /$mode /S
    for f in "$dir/OrvoDial.exe" "$dir/uninstall.exe" "$menu/OrvoDial.lnk" "$dir"; do
        [ ! -e "$f" ] || fail "$f left behind"
    done
    for k in "$uninst" "$root\\Software\\OrvoDial" "$root\\Software\\Classes\\OrvoDial.Link"; do
        [ -z "$(key "$k")" ] || fail "$k left behind"
    done
    [ -z "$(key "$root\\Software\\RegisteredApplications" OrvoDial)" ] || fail "still a registered application"
    for scheme in $ours; do
        [ -z "$(key "$root\\Software\\Classes\\$scheme")" ] || fail "$scheme: scheme key left behind"
    done
    if [ $mode = CurrentUser ]; then
        key 'HKCU\Software\Classes\callto\shell\open\command' | grep -qF 'Other\phone.exe' ||
            fail "callto: removed from the program that had it"
    fi
done
[ $failed = 0 ] && echo "ok - installed and uninstalled for all users and for one user"
exit $failed
