# What the AT-SPI clients of the scenarios share: waiting on the program, walking its tree.
import sys
import time

import pyatspi
from gi.repository import GLib


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def pump(seconds):
    # The events the program sends arrive through GLib's loop.
    end = time.time() + seconds
    context = GLib.MainContext.default()
    while time.time() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.02)


def until(what, seconds, check):
    end = time.time() + seconds
    while time.time() < end:
        pump(0.05)
        value = check()
        if value:
            return value
    fail(what)


def find_app():
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None and a.name == "Voltina":
            return a
    return None


def descendants(node, depth=0):
    out = []
    for child in node:
        if child is None:
            continue
        out.append(child)
        if depth < 8:
            out.extend(descendants(child, depth + 1))
    return out


def is_main(window):
    # Message boxes carry the program's title too; the main window is the one with the menu bar.
    return any(c is not None and c.getRoleName() == "menu bar" for c in window)


def panel_controls(app):
    frame = next((w for w in app if w is not None and w.name == "Voltina 3.10" and is_main(w)), None)
    if frame is None:
        fail("no frame 'Voltina 3.10'")
    return descendants(frame)


def by_name(nodes, wanted):
    found = [n for n in nodes if n.name == wanted]
    if len(found) != 1:
        fail("%d controls named %r" % (len(found), wanted))
    return found[0]


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)
