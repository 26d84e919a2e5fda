#!/usr/bin/python3
# The screen reader's view of the running dialer, through AT-SPI (GObject introspection's
# Atspi): every window holds the names and roles of accessible-names.tsv; "Press" on the
# key "5 JKL" puts 5 in the number box; Dial asks "Time call?" in a dialog whose text is
# readable; Yes opens the call timing window, whose clock reads as elapsed time; Done
# closes it. Exits 0, or 1 with what was wrong. Every wait is bounded.
import re
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

warnings.simplefilter("ignore", DeprecationWarning)  # the *_iface getters, still the plainest way

ROLES = {"window": "frame", "button": "push button", "combobox": "combo box", "label": "label"}
problems = []


def expected(table, window):
    rows = []
    with open(table, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            win, kind, name = line.rstrip("\n").split("\t")
            if win == window:
                rows.append((ROLES[kind], name))
    return rows


def descendants(node):
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def wait_for(what, find, seconds=15):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            found = find()
        except gi.repository.GLib.Error:
            found = None
        if found:
            return found
        time.sleep(0.1)
    sys.exit("waited in vain for " + what)


def application():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == "OrvoDial":
            return app
    return None


def frame(app, title):
    """The window titled so, while it is on the screen."""
    for node in descendants(app):
        if (node.get_role_name() == "frame" and node.get_name() == title
                and node.get_state_set().contains(Atspi.StateType.SHOWING)):
            return node
    return None


def find(root, role, name):
    """The control of that role and name (a label's name goes on with ": " and its text)."""
    for node in descendants(root):
        shown = node.get_name() or ""
        if node.get_role_name() == role and (shown == name or (role == "label" and shown.startswith(name + ": "))):
            return node
    return None


def press(node):
    action = node.get_action_iface()
    for i in range(action.get_n_actions()):
        if action.get_action_name(i) == "Press":
            return action.do_action(i)
    problems.append("no Press action on " + node.get_name())
    return False


def text_of(node):
    """An entry's text, or what a label shows (after its name's ": ")."""
    text = node.get_text_iface()
    if text:
        return text.get_text(0, -1)
    name = node.get_name() or ""
    return name.split(": ", 1)[1] if node.get_role_name() == "label" and ": " in name else None


def check_window(root, table, window):
    for role, name in expected(table, window):
        if role == "frame":
            continue
        if find(root, role, name) is None:
            problems.append("%s window: no %s named %r" % (window, role, name))


def main(table):
    app = wait_for("the dialer on the accessibility bus", application)
    dial = wait_for("the frame 'Orvo Dial'", lambda: frame(app, "Orvo Dial"))
    check_window(dial, table, "dial")
    press(find(dial, "push button", "5 JKL"))
    number = find(dial, "combo box", "Number")
    entry = next((n for n in descendants(number) if n.get_role_name() == "text"), None)
    wait_for("5 in the number box", lambda: entry is not None and text_of(entry) == "5")
    press(find(dial, "push button", "Dial"))

    def question():
        for node in descendants(app):
            if node.get_role_name() in ("dialog", "alert"):
                for inner in descendants(node):
                    if "Time call?" in (inner.get_name() or "") or "Time call?" in (text_of(inner) or ""):
                        return node
        return None

    asking = wait_for("a dialog reading 'Time call?'", question)
    press(wait_for("its Yes button", lambda: find(asking, "push button", "Yes")))
    timing = wait_for("the frame 'Call Timing'", lambda: frame(app, "Call Timing"))
    check_window(timing, table, "timing")
    called = find(timing, "label", "Number called")
    if called is None or text_of(called) != "5":
        problems.append("the number called reads %r" % (text_of(called) if called else None))
    clock = find(timing, "label", "Elapsed time")
    shown = text_of(clock) if clock else None
    if shown is None or not re.fullmatch(r"\d\d:\d\d:\d\d", shown):
        problems.append("the elapsed time reads %r" % shown)
    press(find(timing, "push button", "Done"))
    wait_for("the timing window to close", lambda: frame(app, "Call Timing") is None)
    for p in problems:
        print("FAIL:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
