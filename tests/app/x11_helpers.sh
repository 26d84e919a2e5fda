# Shared by the scripts that drive the real orvodial under Xvfb with xdotool (sourced).
# Gives: $work (a private folder, removed at the end), pids (processes started, killed
# at the end), wait_for, visible, gone, focused_on, answer, dialled. The script defines fail.
# The dialers it starts have a runtime directory of their own ($work/run), so they never
# hand over to a dialer running elsewhere for this user (a desktop's, another test's).
work=$(mktemp -d)
mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR=$work/run
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
export QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 # the X11 platform's D-Bus library leaks

# Waits up to 15 s for a command to succeed, else fails with what was waited for.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 300); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    fail "waited in vain for: $what"
}
visible() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
gone() { ! visible "$1"; }
focused_on() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
# Answers the box titled OrvoDial with the keys given, as the user would after clicking it,
# then waits until it is gone.
answer() {
    wait_for "a box" visible '^OrvoDial$'
    local box
    box=$(xdotool search --onlyvisible --name '^OrvoDial$' | head -1)
    xdotool windowfocus --sync "$box" key "$@"
    wait_for "the box to close" gone '^OrvoDial$'
}
# The trace in $work/trace shows a call requested to the number $1.
dialled() { grep -q "^lineMakeCallA [0-9]* & \"$1\" " "$work/trace"; }
