#!/usr/bin/env bash
# Voltina as a screen reader uses it, on a private X server, session bus and accessibility bus: the
# AT-SPI client panel_reader.py walks the panel, makes a cord, sets knobs and saves the configuration
# with accessible actions alone; the saved file then holds the cord and the knobs' values.
#
#   screen_reader_scenario.sh VOLTINA_BINARY ARTIFACT_DIR
# Run it through with_pulse_null_sink.sh and with_accessibility_bus.sh.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/../support/main_window.sh"
. "$here/../support/scenario_session.sh"
export JACK_DEFAULT_SERVER="voltina-scenario-nobody-$$"
: "${QT_LINUX_ACCESSIBILITY_ALWAYS_ON:?run this through with_accessibility_bus.sh}"

bin=$(readlink -f "$1")
art=$2
mkdir -p "$art"
rm -f "$art"/*.png "$art"/voltina.log "$art"/saved.json
scenario_begin screen_reader
start_xvfb 1280x1024x24
unset VOLTINA_AUDIO

# The program saves its configurations in the folder it starts in.
mkdir -p "$work/start"
(cd "$work/start" && exec "$bin") >"$art/voltina.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window titled 'Voltina 3.10'"

VOLTINA_WINDOW=$win timeout 120 /usr/bin/python3 "$here/panel_reader.py" by_ear || fail "the screen reader's session did not pass"
import -window root "$art/after_reader.png"

saved="$work/start/by_ear"
for _ in $(seq 50); do [ -s "$saved" ] && break; sleep 0.1; done
[ -s "$saved" ] || fail "no configuration was saved"
cp "$saved" "$art/saved.json"
/usr/bin/python3 - "$saved" <<'PY' || fail "the saved configuration does not show what the reader did"
import json, sys
c = json.load(open(sys.argv[1]))
assert [404, 301] in c["cords"], c["cords"]
assert c["mixer"][0]["level"] == 100, c["mixer"][0]
assert abs(c["oscillators"][3]["frequency"] - 440.0) < 1e-3, c["oscillators"][3]
print("saved: cord 404 -> 301, mixer channel 1 level 100, oscillator 4 at 440 Hz")
PY
echo "PASS"
