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
# The keys the checks read, each with its subkeys, as reg query prints them, taken in one
# Wine process after each step (a Wine process per key costs about 3 s apiece). When Wine
# itself fails to run the queries (the last line is missing), they are tried again, and said.
snapshot() { # root: HKLM or HKCU
    local script="$WINEPREFIX/drive_c/orvodial-keys.cmd" attempt k
    {
        echo "@echo off"
        for k in 'Microsoft\Windows\CurrentVersion\Uninstall\OrvoDial' OrvoDial 'Classes\OrvoDial.Link' \
                 RegisteredApplications 'Classes\tel' 'Classes\callto'; do
            echo "reg query \"$1\\Software\\$k\" /s"
        done
        echo "echo end of keys"
    } | sed 's/$/\r/' >"$script"
    for attempt in 1 2 3; do
        SNAPSHOT=$("$WINE" cmd /c 'C:\orvodial-keys.cmd' 2>&1 | tr -d '\r')
        grep -qx "end of keys" <<<"$SNAPSHOT" && return 0
        echo "(reg query of $1, attempt $attempt: $(head -3 <<<"$SNAPSHOT"))" >&2
    done
    return 1
}
# A key's lines in the last snapshot (its name, then its values), or one value's line;
# nothing when it is not there. Names are matched as Windows does, in any case.
key() { # key [value]
    local full=${1/#HKLM/HKEY_LOCAL_MACHINE}
    full=${full/#HKCU/HKEY_CURRENT_USER}
    # (Through the environment: awk -v would read "\t" in "Classes\tel" as a tab.)
    KEY=$full VALUE=${2-} awk '
        BEGIN { key = tolower(ENVIRON["KEY"]); value = tolower(ENVIRON["VALUE"]) }
        tolower($0) == key { inside = 1; if (value == "") print; next }
        $0 == "" { inside = 0 }
        inside && (value == "" || index(tolower($0), "    " value "    ") == 1)' <<<"$SNAPSHOT"
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
    snapshot $root || fail "the registry could not be read"
    for f in "$dir/OrvoDial.exe" "$dir/uninstall.exe" "$menu/OrvoDial.lnk"; do
        [ -f "$f" ] || fail "$f not installed"
    done
    for v in DisplayName DisplayIcon DisplayVersion Publisher EstimatedSize UninstallString QuietUninstallString; do
        key "$uninst" $v | grep -q "$v" || fail "$uninst has no $v"
    done
    # The version the installer's name carries (OrvoDial-1.00-setup.exe).
    version=$(basename "$SETUP" | sed -E 's/^OrvoDial-([0-9.]+)-setup.*/\1/')
    key "$uninst" DisplayVersion | grep -qF "$version" || fail "DisplayVersion is not $version"
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
    snapshot $root || fail "the registry could not be read"
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
