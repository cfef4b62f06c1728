#!/usr/bin/python3
# An AT-SPI client that uses Voltina as a screen reader does (Orca's view of the program): it walks the
# panel's accessible tree, checks that every jack, knob and button says what it is and what it holds, then
# follows the keyboard's jumps by the focus it hears land, makes a cord with accessible actions alone, sets two knobs through the value interface, undoes one of
# them through the menu, reads a refused plug's message box, the help window and the sample list, and
# saves the configuration through the menu and the entry dialog.
#
#   panel_reader.py CONFIGURATION_NAME     (the program's start folder gets the file CONFIGURATION_NAME)
# Prints "PASS" at the end, "FAIL: ..." and exits 1 at the first thing wrong.
import os
import re
import subprocess
import sys

import pyatspi
from gi.repository import Atspi, GLib

from reader_support import by_name, checked, descendants, fail, find_app, is_main, panel_controls, pump, until

name = sys.argv[1]
events = []


pyatspi.Registry.registerEventListener(lambda e: events.append(e), "object:property-change:accessible-value",
                                       "object:state-changed:checked", "object:property-change:accessible-description")
app = until("Voltina is not on the accessibility bus", 20, find_app)
# The first tick switches H.P on, which shows that the panel is set up.
controls = until("H.P never came on", 10,
                 lambda: (lambda c: c if any(n.name == "H.P, sound on" and checked(n) for n in c) else None)(
                     panel_controls(app)))

# ---- the tree as a screen reader walks it
jack_re = re.compile(r"^(.+) \(([34]\d\d)\)$")
jacks = {}
for n in controls:
    m = jack_re.match(n.name or "")
    if m and n.getRoleName() == "push button":
        jacks[int(m.group(2))] = n
ids = sorted(jacks)
if ids != list(range(301, 333)) + list(range(401, 433)):
    fail("jacks seen: %s" % ids)
if len({jacks[i].name for i in ids}) != 64:
    fail("two jacks share a name")
descriptions = {i: jacks[i].description for i in ids}
for i, d in descriptions.items():
    if d != "free" and not d.startswith("plugged "):
        fail("jack %d says %r" % (i, d))
# Both ends of every cord tell of the other.
for i in range(301, 333):
    m = re.match(r"^plugged from .* \((4\d\d)\)$", descriptions[i])
    if m and jacks[i].name not in descriptions[int(m.group(1))]:
        fail("output %s does not name input %d" % (m.group(1), i))
if descriptions[307] != "plugged from Auto-pan 1, output (mixer inputs only) (418)":
    fail("the start-up cord into 307 reads %r" % descriptions[307])

dials = [n for n in controls if n.getRoleName() == "dial"]
ranges = {"frequency": (0.01, 5500.0), "level": (0.0, 128.0), "pan": (-10.0, 10.0)}
seen = {k: 0 for k in ranges}
for d in dials:
    kind = d.name.rsplit(" ", 1)[-1]
    if kind not in ranges:
        fail("a dial named %r" % d.name)
    v = d.queryValue()
    low, high = ranges[kind]
    if (v.minimumValue, v.maximumValue) != (low, high) or not low <= v.currentValue <= high:
        fail("%s: %s in [%s, %s]" % (d.name, v.currentValue, v.minimumValue, v.maximumValue))
    unit = " Hz" if kind == "frequency" else ""
    if not d.description.endswith(unit) or abs(float(d.description.replace(" Hz", "")) - v.currentValue) > 0.0101:
        fail("%s reads %r for %s" % (d.name, d.description, v.currentValue))
    seen[kind] += 1
if seen != {"frequency": 8, "level": 8, "pan": 8}:
    fail("dials: %s" % seen)

buttons = [n for n in controls if n.getRoleName() in ("push button", "radio button", "check box")]
unnamed = [b for b in buttons if not b.name]
if unnamed:
    fail("%d buttons without a name" % len(unnamed))
for osc in range(1, 9):
    lit = [t for t in ("sine", "pulse", "ramp", "random") if checked(by_name(controls, "Oscillator %d, %s" % (osc, t)))]
    if len(lit) != 1:
        fail("oscillator %d shows the wave types %s" % (osc, lit))
print("tree: 64 jacks, %d dials, %d named buttons" % (len(dials), len(buttons)), flush=True)


# ---- a cord made with accessible actions alone: oscillator 4's output into mixer channel 1
out404 = jacks[404]
in301 = jacks[301]
out404.queryAction().doAction(0)
until("no cord end held from 404", 5, lambda: "holding the loose end of a cord from Oscillator 4" in in301.description)
in301.queryAction().doAction(0)
until("301 did not take the cord: %r" % in301.description, 5,
      lambda: in301.description == "plugged from Oscillator 4, output 1 (404)")
if out404.description != "plugged into Mixer channel 1, input (301)":
    fail("404 reads %r" % out404.description)
until("no description change was announced", 3,
      lambda: any(e.type == "object:property-change:accessible-description" for e in events))

# ---- a wave type chosen by its action: the lamps move and the change is announced
pulse = by_name(controls, "Oscillator 4, pulse")
pulse.queryAction().doAction(0)
until("Oscillator 4, pulse did not come on", 5, lambda: checked(pulse))
if checked(by_name(controls, "Oscillator 4, sine")):
    fail("Oscillator 4 shows sine and pulse")
until("no checked change was announced", 3, lambda: any(e.type.startswith("object:state-changed:checked") for e in events))
by_name(controls, "Oscillator 4, sine").queryAction().doAction(0)
until("Oscillator 4, sine did not come back", 5, lambda: checked(by_name(controls, "Oscillator 4, sine")))


def other_window():
    for w in app:
        if w is not None and not is_main(w):
            return w
    return None


def texts_of(window):
    out = []
    for n in [window] + descendants(window):
        if n.name:
            out.append(n.name)
        if n.getRoleName() in ("label", "text"):
            try:
                t = n.queryText()
                out.append(t.getText(0, t.characterCount))
            except NotImplementedError:
                pass
    return " | ".join(out)


# ---- a refused plug (an output into an output) says why in a message box a reader reads as any other
jacks[405].queryAction().doAction(0)
until("no cord end held from 405", 5, lambda: "from Oscillator 5" in jacks[406].description)
jacks[406].queryAction().doAction(0)
box = until("no message box for an output into an output", 10, other_window)
said = texts_of(box)
print("refused plug: %r" % said, flush=True)
if "output" not in said.lower():
    fail("the refusal says %r" % said)
next(n for n in descendants(box) if n.name == "OK").queryAction().doAction(0)
until("the message box stayed", 5, lambda: other_window() is None)
jacks[405].queryAction().doAction(0)  # let go where it was taken
until("405 still holds a cord end", 5, lambda: "holding" not in jacks[406].description)

# ---- knobs set through the value interface, each one edit
level = by_name(controls, "Mixer channel 1 level").queryValue()
level.currentValue = 100.4  # a level is whole, as the knob leaves it
until("the level did not become 100", 5, lambda: level.currentValue == 100.0)
until("no value change was announced", 3,
      lambda: any(e.type == "object:property-change:accessible-value" for e in events))
freq = by_name(controls, "Oscillator 4 frequency").queryValue()
before = freq.currentValue
freq.currentValue = 440.0
until("the frequency did not become 440", 5, lambda: abs(freq.currentValue - 440.0) < 1e-3)
entry = [n for n in controls if n.name.startswith("Oscillator 4 frequency entry")][0]
if entry.name != "Oscillator 4 frequency entry, 440.00 Hz":
    fail("the entry reads %r" % entry.name)


def menu_item(label):
    # Undo and Redo say what they would do ("Undo oscillator 4 frequency").
    items = [n for n in descendants(app) if n.getRoleName() == "menu item" and n.name.startswith(label)]
    if not items:
        fail("no menu item %r" % label)
    return items[0]


# Undo takes the frequency back (one step), Redo brings it again.
menu_item("Undo").queryAction().doAction(0)
until("Undo did not take the frequency back", 5, lambda: abs(freq.currentValue - before) < 1e-3)
menu_item("Redo").queryAction().doAction(0)
until("Redo did not set 440 again", 5, lambda: abs(freq.currentValue - 440.0) < 1e-3)



def open_from_menu(label):
    # Qt answers a menu item's action only once what it started returns, here a modal dialog: the
    # reader does not wait for that answer.
    action = menu_item(label).queryAction()
    Atspi.set_timeout(1500, 15000)
    try:
        action.doAction(0)
    except GLib.GError:
        pass
    Atspi.set_timeout(25000, 15000)
    return until("%r opened no window" % label, 10, other_window)


def press(window, label):
    buttons = [n for n in descendants(window) if n.getRoleName() == "push button" and n.name == label]
    if not buttons:
        fail("no %r in %r" % (label, texts_of(window)))
    buttons[0].queryAction().doAction(0)
    until("%r did not close its window" % label, 5, lambda: other_window() is None)


# ---- the keyboard's jumps as a reader hears them: the focus lands on the jack typed, on the next module
landed = []
pyatspi.Registry.registerEventListener(lambda e: e.detail1 and landed.append(e.source.name),
                                       "object:state-changed:focused")


def keys(*names):
    # Real keys, typed into the window as a person types them.
    command = ["xdotool", "windowfocus", "--sync", os.environ["VOLTINA_WINDOW"]]
    subprocess.run(command + (["key", "--delay", "80"] + list(names) if names else []), check=True)


for typed, heard in ((["4", "0", "4"], jacks[404].name), (["ctrl+Right"], "Oscillator 5 frequency"),
                     (["3", "0", "3"], "Mixer channel 3, input (303)")):
    keys(*typed)
    until("after %s the reader heard %r" % (typed, landed[-3:]), 5, lambda: landed and landed[-1] == heard)
keys("3", "9", "9")
box = until("no message box for jack 399", 10, lambda: other_window())
if "There is no jack 399." not in texts_of(box):
    fail("399 is answered %r" % texts_of(box))
press(box, "OK")
keys()  # the window manager's part: the main window is active again once the box is gone
until("the focus did not come back to 303: %r" % landed[-3:], 5,
      lambda: landed and landed[-1] == "Mixer channel 3, input (303)")
print("keys heard: %s" % " / ".join(landed[-4:]), flush=True)

# ---- the help window and the sample list read as they show
helpwin = open_from_menu("About Voltina")
help_text = [n for n in descendants(helpwin) if n.getRoleName() == "text" and n.name == "Help"]
if not help_text or help_text[0].queryText().characterCount < 100:
    fail("the help window reads %r" % texts_of(helpwin)[:200])
press(helpwin, "OK")
by_name(controls, "Wave sample, none chosen").queryAction().doAction(0)
wave_list = until("the Wave button opened no list", 10, other_window)
if not any(n.getRoleName() == "list" and n.name == "Chargement Wave" for n in descendants(wave_list)):
    fail("the sample list reads %r" % texts_of(wave_list))
press(wave_list, "Cancel")

# ---- the configuration saved through the menu and the entry dialog
open_from_menu("Save a configuration")


def entry_dialog():
    for w in app:
        if w is None or is_main(w):
            continue
        texts = [n for n in descendants(w) if n.getRoleName() == "text"]
        if texts:
            return w, texts[0]
    return None


dialog, text = until("no entry dialog", 10, entry_dialog)
print("entry dialog %r, its field %r" % (dialog.name, text.name), flush=True)
if not text.name:
    fail("the entry field has no name")
text.queryEditableText().setTextContents(name)
ok = [n for n in descendants(dialog) if n.getRoleName() == "push button" and n.name == "OK"]
if not ok:
    fail("no OK in the entry dialog")
ok[0].queryAction().doAction(0)
pump(1.0)
print("PASS", flush=True)
