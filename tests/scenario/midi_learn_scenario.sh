#!/usr/bin/env bash
# MIDI learn with a real MIDI controller: a JACK MIDI client sends control changes to Voltina's MIDI
# input, on a private X server and a private PulseAudio null sink. The start-up patch plays on mixer
# channel 7; a right click on that channel's level knob opens its menu, "Learn MIDI controller" is
# chosen, and the controller's next move binds it. The controller then sweeps the level down to 0: the
# sink falls silent. Ctrl+Z takes the whole sweep back and the patch is heard again.
#
#   midi_learn_scenario.sh VOLTINA_BINARY CONTROLLER_BINARY ARTIFACT_DIR
# Run it through tests/support/with_pulse_null_sink.sh and tests/support/with_jack_dummy.sh.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/main_window.sh"
. "$here/../support/scenario_session.sh"

bin=$1
controller=$2
art=$3
mkdir -p "$art"
rm -f "$art"/*.png "$art"/capture.wav "$art"/voltina.log
scenario_begin learn
: "${VOLTINA_TEST_PULSE_SINK:?run this through with_pulse_null_sink.sh}"
: "${JACK_DEFAULT_SERVER:?run this through with_jack_dummy.sh}"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
start_xvfb 1280x1024x24
unset VOLTINA_AUDIO
cd "$work" || fail "no folder"

# The controller reads its moves from a pipe the scenario keeps open.
mkfifo "$work/moves"
"$controller" knobs <"$work/moves" >"$work/controller.log" 2>&1 &
kpid=$!
exec 5>"$work/moves"
trap 'exec 5>&-; kill $kpid 2>/dev/null; scenario_cleanup' EXIT
sleep 1
move() { echo "$1 $2" >&5; }

start_capture
"$bin" --midi-port knobs >"$art/voltina.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window titled 'Voltina 3.10'"
bar=$(panel_top "$win")
expect_sound "the start-up patch on channel 7" loud

# Channel 7's level knob (583, 332, 37 x 39 in the panel): a right click that does not hold.
xdotool mousemove --window "$win" 601 "$((bar + 351))" click 3
sleep 0.7
xdotool mousemove_relative 25 10 click 1  # the menu's first item, "Learn MIDI controller"
sleep 0.5
import -window "$win" "$art/waiting.png"
move 7 90  # the controller's first move binds it
sleep 0.5
grep -q "sent 7 90" "$work/controller.log" || fail "the controller did not send"
expect_sound "the level after the controller was learnt" loud

for v in 80 60 40 20 10 5 0; do move 7 "$v"; sleep 0.05; done
expect_sound "the level swept to 0 by the controller" quiet
import -window "$win" "$art/swept.png"

xdotool windowfocus --sync "$win" key ctrl+z
expect_sound "the sweep undone with Ctrl+Z" loud
import -window "$win" "$art/undone.png"
echo "PASS"
