#!/usr/bin/python3
# The scope and the level meter as a screen reader finds them: the meter's words on the panel, the scope
# pointed at oscillator 4's output (plugged into mixer channel 1) by the jack's "Scope" action, its readouts (a 130 Hz sine over its
# range), then moved by a real Ctrl+click to accumulator 1's output, patched by accessible actions first.
#
#   scope_reader.py ARTIFACT_DIR      (screenshots of the scope go there)
# Prints "READ" at the end, "FAIL: ..." and exits 1 at the first thing wrong.
import re
import subprocess
import sys

import pyatspi

from reader_support import checked, descendants, fail, find_app, panel_controls, until

art = sys.argv[1]


def jack_map(controls):
    jacks = {}
    for n in controls:
        m = re.match(r"^.+ \(([34]\d\d)\)$", n.name or "")
        if m and n.getRoleName() == "push button":
            jacks[int(m.group(1))] = n
    return jacks


def do_named_action(node, name):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == name:
            action.doAction(i)
            return
    fail("%r offers no action %r" % (node.name, name))


def scope_window(app, title):
    return next((w for w in app if w is not None and w.name == title), None)


def readouts(window):
    return {n.name.split(" ")[0].rstrip(":"): n.name for n in descendants(window) if n.getRoleName() == "label"}


def screenshot(name):
    subprocess.run(["import", "-window", "root", "%s/%s.png" % (art, name)], check=False)


app = until("Voltina is not on the accessibility bus", 20, find_app)
controls = until("H.P never came on", 10,
                 lambda: (lambda c: c if any(n.name == "H.P, sound on" and checked(n) for n in c) else None)(
                     panel_controls(app)))
jacks = jack_map(controls)

# ---- the meter on the panel says the default patch's level in words
meter = next((n for n in controls if n.name == "Output level"), None)
if meter is None:
    fail("no 'Output level' on the panel")
level = until("the meter never read a level: %r" % meter.description, 10,
              lambda: re.match(r"^left (\d+) %, right (\d+) %$", meter.description or ""))
if int(level.group(1)) == 0 and int(level.group(2)) == 0:
    until("the meter stays at 0 %", 5, lambda: not meter.description.startswith("left 0 %, right 0 %"))
print("meter: %r" % meter.description, flush=True)

# ---- the scope on oscillator 4's output, by the jack's action, once mixer channel 1 plays it (an oscillator
# nothing hears is not computed, and its jack stays still)
def plug(out, into):
    jacks[out].queryAction().doAction(0)
    until("no cord end held from %d" % out, 5, lambda: "holding" in jacks[into].description)
    jacks[into].queryAction().doAction(0)
    until("%d did not take the cord" % into, 5, lambda: jacks[into].description.startswith("plugged from"))


plug(404, 301)
do_named_action(jacks[404], "Scope")
window = until("no scope window for 404", 10, lambda: scope_window(app, "Scope: Oscillator 4, output 1 (404)"))


def frequency_read(window, low, high):
    m = re.match(r"^Frequency ([0-9.]+) Hz$", readouts(window).get("Frequency", ""))
    return m if m and low <= float(m.group(1)) <= high else None


until("the scope does not read 130 Hz: %r" % readouts(window), 10,
      lambda: frequency_read(window, 130 * 0.99, 130 * 1.01))
said = readouts(window)
print("scope on 404: %r" % said, flush=True)
extreme = lambda word: float(said[word].split(" ")[1])  # noqa: E731
if extreme("Minimum") > -126 or extreme("Maximum") < 126:
    fail("the sine's swing reads %r" % said)
if said["Range"] != "Range -127 to 127" or said["Oscillator"] != "Oscillator 4, output 1 (404), plugged into Mixer channel 1, input (301)":
    fail("the scope says %r" % said)
screenshot("scope_404")

# ---- accumulator 1 patched by actions (405 and 406 into its inputs, its output into mixer channel 8)
for out, into in ((405, 309), (406, 310), (409, 308)):
    plug(out, into)

# ---- a real Ctrl+click on its output moves the scope there
box = jacks[409].queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
x, y = box.x + box.width // 2, box.y + box.height // 2
subprocess.run(["xdotool", "mousemove", str(x), str(y), "keydown", "ctrl", "click", "1", "keyup", "ctrl"], check=True)
window = until("the scope did not move to 409", 10, lambda: scope_window(app, "Scope: Accumulator 1, output (409)"))
until("the accumulator's readouts: %r" % readouts(window), 10,
      lambda: readouts(window).get("Range") == "Range -126 to 129" and "Minimum" in readouts(window) and
      readouts(window)["Minimum"] != readouts(window)["Maximum"].replace("Maximum", "Minimum"))
print("scope on 409: %r" % readouts(window), flush=True)
screenshot("scope_409")
print("READ", flush=True)
