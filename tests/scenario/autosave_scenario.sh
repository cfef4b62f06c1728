#!/usr/bin/env bash
# A panel that survives a kill, on a private X server: real clicks pull the start-up patch's cord out of
# input 307 and change oscillator 1 to a ramp, the menu saves the panel as "before", one more click
# changes it again, and the program is killed with SIGKILL two seconds later. `voltina --recover` lists
# the autosave; the next start offers it (a screenshot of the offer is kept), Return restores it, the
# save prompt offers the name it came from, and the panel saved as "after" is the one the killed program
# had, byte for byte, as the killed program's own save of the same panel shows. A normal quit then asks
# about the changes not saved, and leaves no autosave behind. Three damaged autosaves beside it are set
# aside and said in one box before the offer.
#
#   autosave_scenario.sh VOLTINA_BINARY ARTIFACT_DIR
set -uo pipefail
. "$(dirname "$0")/../support/main_window.sh"
. "$(dirname "$0")/../support/scenario_session.sh"
export JACK_DEFAULT_SERVER="voltina-scenario-nobody-$$"

bin=$1
art=$2
mkdir -p "$art"
rm -f "$art"/*.png "$art"/voltina*.log
scenario_begin autosave
start_xvfb 1280x1024x24
export VOLTINA_AUDIO=null
mkdir -p "$work/songs"
cd "$work/songs" || fail "no folder for the songs"
unsaved="$XDG_DATA_HOME/voltina/unsaved"

find_box() {  # a window captioned like the main window that is not it: a message box
    for _ in $(seq 50); do
        box=$(xdotool search --onlyvisible --name '^Voltina 3\.10$' 2>/dev/null | grep -v "^$win\$" | head -n1)
        [ -n "$box" ] && return 0
        sleep 0.1
    done
    return 1
}
find_prompt() {
    for _ in $(seq 50); do
        prompt=$(xdotool search --onlyvisible --name '^Save a configuration$' 2>/dev/null | head -n1)
        [ -n "$prompt" ] && return 0
        sleep 0.1
    done
    return 1
}
start() {  # log name
    "$bin" >"$art/$1.log" 2>&1 &
    vpid=$!
    win=$(main_window 20)
    [ -n "$win" ] || fail "no window titled 'Voltina 3.10' ($1)"
    sleep 1.0
    bar=$(panel_top "$win")
}
click() { xdotool mousemove --window "$win" "$1" "$((bar + $2))" click 1; sleep 0.4; }
menu_save() {  # the System menu's second item
    xdotool mousemove --window "$win" 25 10 click 1
    sleep 0.5
    xdotool key Down Down Return
    find_prompt || { import -window root "$art/no_prompt.png"; fail "no 'Save a configuration' prompt"; }
}

start voltina-1
click $((555 + 14)) $((338 + 13))  # the cord out of input 307...
click $((466 + 14)) $((271 + 13))  # ...let go at output 418
menu_save
xdotool windowfocus --sync "$prompt" type before
xdotool windowfocus --sync "$prompt" key Return
for _ in $(seq 50); do [ -s before ] && break; sleep 0.1; done
[ -s before ] || fail "the configuration 'before' was not saved"
cp before "$work/saved-before.json"
click $((555 + 14)) $((338 + 13))  # input 307 again: the cord's end back in hand, the panel changes
click $((466 + 14)) $((271 + 13))
sleep 2.5  # the autosave comes within two seconds of the last change
ls "$unsaved"/panel-*.json >/dev/null 2>&1 || fail "no autosave two seconds after the change"
# What the panel is at the kill, as a save of it would write it (the kill comes before any other change).
panel=$(ls "$unsaved"/panel-*.json | head -n1)
python3 - "$panel" >"$work/expected.json" <<'PY' || fail "the autosave is not what Voltina writes"
import json, sys
a = json.load(open(sys.argv[1]))
assert a["voltina-autosave"] == 1 and a["modified"] is True, a
assert a["origin"].endswith("/songs/before"), a["origin"]
print(json.dumps(a["configuration"], sort_keys=True))
PY
kill -KILL "$vpid"
wait "$vpid" 2>/dev/null
vpid=""

listed=$("$bin" --recover)
echo "after the kill: $listed"
grep -q "panel-.*\.json .*from the configuration .*/songs/before, with changes not saved" <<<"$listed" ||
    fail "--recover does not list the autosaved panel"

for n in 1 2 3; do printf '{"voltina-autosave": 1, "time": ' >"$unsaved/panel-damaged$n.json"; done
start voltina-2
find_box || fail "no box about the damaged autosaves"
import -window "$box" "$art/damaged.png"
xdotool windowfocus --sync "$box" key Return
sleep 0.5
aside=$(find "$unsaved" -name 'panel-damaged*.damaged-*.json' | wc -l)
[ "$aside" -eq 3 ] || fail "$aside of the 3 damaged autosaves were set aside"
if find_box; then
    sleep 0.3
    import -window "$box" "$art/restore_offer.png"
    xdotool windowfocus --sync "$box" key Return  # Restore, the default
else
    echo "the offer was answered by the window search already"
fi
sleep 1.0
boxes=$(xdotool search --onlyvisible --name '^Voltina 3\.10$' 2>/dev/null | grep -vc "^$win\$")
[ "$boxes" -eq 0 ] || fail "$boxes more boxes after the damaged autosaves' and the offer"
menu_save
import -window "$prompt" "$art/save_prompt.png"
xdotool windowfocus --sync "$prompt" key ctrl+a
xdotool windowfocus --sync "$prompt" type after
xdotool windowfocus --sync "$prompt" key Return
for _ in $(seq 50); do [ -s after ] && break; sleep 0.1; done
[ -s after ] || fail "the restored panel was not saved as 'after'"
python3 - after "$work/expected.json" "$work/saved-before.json" <<'PY' || fail "the restored panel is not the one killed"
import json, sys
after = json.load(open(sys.argv[1]))
expected = json.loads(open(sys.argv[2]).read())
before = json.load(open(sys.argv[3]))
assert json.dumps(after, sort_keys=True) == json.dumps(expected, sort_keys=True), (after, expected)
assert after != before, "the change after 'before' was lost"
print("restored panel saved with", len(after["cords"]), "cords, as before the kill")
PY
cmp -s before "$work/saved-before.json" || fail "'before' was changed by the restore"

# Quit: the panel was saved, so "Finished ?" has no save button; OK ends, and the autosave goes.
xdotool mousemove --window "$win" 25 10 click 1
sleep 0.5
xdotool key Up Return
find_box || fail "no 'Finished ?' question"
xdotool windowfocus --sync "$box" key Return
for _ in $(seq 100); do kill -0 "$vpid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$vpid" 2>/dev/null && fail "the program is still running after OK"
wait "$vpid"
vpid=""
left=$(find "$unsaved" -name 'panel-*' ! -name '*.damaged-*' | wc -l)
[ "$left" -eq 0 ] || fail "$left autosave files are left after a normal quit"
echo "PASS"
