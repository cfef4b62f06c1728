#!/usr/bin/python3
# Reads the plugin's window as a screen reader does: for each control named on the command line, prints
# its value (a knob) or its description (a jack: "free", "plugged ..."), one a line.
#
#   window_reader.py NAME...        exits 1 with a line on stderr when the window or a control is missing
import sys
import time

import pyatspi


def controls():
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name != "Voltina":
            continue
        found = {}
        stack = list(app)
        while stack:
            node = stack.pop()
            if node is None:
                continue
            found.setdefault(node.name, node)
            stack.extend(node)
        return found
    return None


end = time.time() + 20
found = controls()
while (found is None or any(n not in found for n in sys.argv[1:])) and time.time() < end:
    time.sleep(0.2)
    found = controls()
for name in sys.argv[1:]:
    if found is None or name not in found:
        sys.exit("no control %r in the window" % name)
    node = found[name]
    try:
        print(node.queryValue().currentValue)
    except NotImplementedError:
        print(node.description)
