#!/usr/bin/env bash
# Patching with the keyboard alone, on a private X server and a private PulseAudio null sink, as heard
# in the sink: the start-up cord into mixer channel 7 is pulled (the panel falls silent), mixer channel
# 1's level is turned down with Page Down, a cord goes from its input to oscillator 4's output (still
# silent at level 0), and Page Up and Up raise the level until oscillator 4 is heard. Every key is a real
# key sent to the window; the focus starts on H.P, as the program sets it.
#
#   keyboard_patching_scenario.sh VOLTINA_BINARY ARTIFACT_DIR
# Run it through tests/support/with_pulse_null_sink.sh, which provides the sink.
set -uo pipefail
. "$(dirname "$0")/../support/main_window.sh"
. "$(dirname "$0")/../support/scenario_session.sh"
export JACK_DEFAULT_SERVER="voltina-scenario-nobody-$$"

bin=$1
art=$2
mkdir -p "$art"
rm -f "$art"/*.png "$art"/capture.wav "$art"/voltina.log
scenario_begin keyboard
: "${VOLTINA_TEST_PULSE_SINK:?run this through with_pulse_null_sink.sh}"
start_xvfb 1280x1024x24
unset VOLTINA_AUDIO
start_capture
"$bin" >"$art/voltina.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window titled 'Voltina 3.10'"
sleep 2

keys() {  # key names, each sent to the window as a person types it
    xdotool windowfocus --sync "$win" key --delay 40 "$@"
}
times() {  # N KEY: the key N times
    local n=$1 k=$2 list=()
    for _ in $(seq "$n"); do list+=("$k"); done
    keys "${list[@]}"
}
expect_sound "start-up patch" loud

# From H.P, Tab reads on: the three sinusoiders, the MIDI voice, the three auto-pans (Record cannot take
# the focus while the sound is on), then the mixer, three controls a channel: channel 7's input is the
# 40th. Enter takes its cord out there; Escape lets the loose end go.
times 40 Tab
import -window "$win" "$art/focus_on_307.png"
keys Return Escape
expect_sound "start-up cord pulled" quiet

# Back to channel 1's input, right to its level, and down to 0 (a Page Down turns a held second's worth).
times 18 shift+Tab
keys Right
times 9 Next
import -window "$win" "$art/level_down.png"
# Left to the input, Space takes a cord end there; 78 controls back is oscillator 4's first output,
# where Enter plugs it.
keys Left space
times 78 shift+Tab
import -window "$win" "$art/carrying_to_404.png"
keys Return
expect_sound "oscillator 4 into channel 1 at level 0" quiet

# Forward again to channel 1, its level up: two Page Ups and three Ups.
times 78 Tab
keys Right Prior Prior Up Up Up
import -window "$win" "$art/level_up.png"
expect_sound "channel 1's level raised" loud
echo "PASS"
