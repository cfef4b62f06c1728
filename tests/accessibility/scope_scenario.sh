#!/usr/bin/env bash
# The scope and the level meter, on a private X server, session bus and accessibility bus: scope_reader.py
# reads the meter, points the scope at oscillator 4's output through the jack's action and reads its
# frequency and range, then moves it with a real Ctrl+click. A take is then recorded with the scope open
# and moved on during it (Ctrl+K, a Ctrl+click): `voltina-render` of its performance gives the same bytes.
#
#   scope_scenario.sh VOLTINA_BINARY VOLTINA_RENDER_BINARY ARTIFACT_DIR
# Run it through with_pulse_null_sink.sh and with_accessibility_bus.sh.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/../support/main_window.sh"
. "$here/../support/scenario_session.sh"
export JACK_DEFAULT_SERVER="voltina-scenario-nobody-$$"
: "${QT_LINUX_ACCESSIBILITY_ALWAYS_ON:?run this through with_accessibility_bus.sh}"

bin=$(readlink -f "$1")
render=$(readlink -f "$2")
art=$3
mkdir -p "$art"
rm -f "$art"/*.png "$art"/voltina.log "$art"/SCOPED.*
scenario_begin scope
start_xvfb 1280x1024x24
unset VOLTINA_AUDIO
mkdir -p "$work/songs"
cd "$work/songs" || fail "no folder for the songs"

"$bin" >"$art/voltina.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window titled 'Voltina 3.10'"

timeout 120 /usr/bin/python3 "$here/scope_reader.py" "$art" | tee "$work/reader.log"
grep -q '^READ$' "$work/reader.log" || fail "the reader's session did not pass"

# ---- a take with the scope open, moved twice while it records
bar=$(panel_top "$win")
click() { xdotool mousemove --window "$win" "$1" "$((bar + $2))" click 1; sleep 0.4; }
scope_on() { xdotool search --onlyvisible --name "^Scope: .*\($1\)$" 2>/dev/null | head -n1; }
click 422 195  # H.P off
click 337 422  # Record on
click 422 195  # H.P on: the take begins
sleep 1
xdotool windowfocus --sync "$win" key ctrl+k  # the scope stays on 409, raised
sleep 1
xdotool mousemove --window "$win" $((555 + 14)) $((bar + 26 + 13)) keydown ctrl click 1 keyup ctrl  # 301
for _ in $(seq 30); do [ -n "$(scope_on 301)" ] && break; sleep 0.1; done
[ -n "$(scope_on 301)" ] || fail "a Ctrl+click on 301 did not move the scope"
sleep 1.5
import -window root "$art/take_with_scope.png"
click 422 195  # H.P off: the name is asked
name_take scoped
for _ in $(seq 50); do [ -s SCOPED.vtk ] && break; sleep 0.1; done
[ -s SCOPED.WAV ] && [ -s SCOPED.vtk ] || fail "the take was not saved as SCOPED.WAV and SCOPED.vtk"
cp SCOPED.WAV SCOPED.vtk "$art/"
"$render" SCOPED.vtk -q -o again.wav || fail "voltina-render refused SCOPED.vtk"
cmp SCOPED.WAV again.wav || fail "the take recorded with the scope open is not voltina-render's"
echo "take with the scope open: $(stat -c %s SCOPED.WAV) bytes, the same as voltina-render SCOPED.vtk"
echo "PASS"
