#!/usr/bin/env bash
# A configuration at the sink's rate (22050 or 44100 Hz), started from the command line under a private X
# server and PulseAudio null sink: the program plays exactly what voltina-render writes for it, frame for
# frame, and --stats counts no stale lap.
#
#   rate_scenario.sh VOLTINA_BINARY VOLTINA_RENDER_BINARY ARTIFACT_DIR
# Run it through tests/support/with_pulse_null_sink.sh --rate RATE, which provides the sink.
set -uo pipefail
. "$(dirname "$0")/../support/main_window.sh"
. "$(dirname "$0")/../support/scenario_session.sh"
export JACK_DEFAULT_SERVER="voltina-scenario-nobody-$$"

bin=$1
render=$2
art=$3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$art"
: "${VOLTINA_TEST_PULSE_SINK:?run this through with_pulse_null_sink.sh}"
rate=${VOLTINA_TEST_PULSE_RATE:?}
scenario_begin rate
rm -f "$art"/*

# The start-up patch's cords with its frequencies, at the sink's rate.
cat >"$work/patch" <<PATCH
{"voltina": 1, "rate": $rate, "oscillators": [
 {"type": "square", "frequency": 256}, {"type": "sine", "frequency": 1.52}, {"type": "sine", "frequency": 2.16},
 {"type": "sine", "frequency": 130}, {"type": "sine", "frequency": 140}, {"type": "sine", "frequency": 150},
 {"type": "sine", "frequency": 160}, {"type": "sine", "frequency": 170}],
 "mixer": [{"level": 80, "pan": 50}, {"level": 80, "pan": 50}, {"level": 80, "pan": 50}, {"level": 80, "pan": 50},
 {"level": 80, "pan": 50}, {"level": 80, "pan": 50}, {"level": 80, "pan": 50}, {"level": 80, "pan": 50}],
 "cords": [[401, 321], [402, 322], [415, 327], [403, 328], [418, 307]]}
PATCH

start_xvfb 1280x1024x24
parec -d "$VOLTINA_TEST_PULSE_SINK.monitor" --rate="$rate" --channels=2 --format=s16le >"$work/capture.raw" &
cpid=$!
sleep 0.7
"$bin" --stats --audio pulse "$work/patch" >"$art/voltina.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window"
sleep 6
import -window root "$art/playing.png"
xdotool windowfocus --sync "$win" key ctrl+q
sleep 0.5
box=$(xdotool search --onlyvisible --name '^Voltina 3\.10$' | grep -v "^$win\$" | head -n1)
[ -n "$box" ] || fail "Ctrl+Q did not ask"
xdotool windowfocus --sync "$box" key Return
wait "$vpid"
vpid=""
kill "$cpid" 2>/dev/null
wait "$cpid" 2>/dev/null
cpid=""
cat "$art/voltina.log"
grep -q "^Stale laps: 0 " "$art/voltina.log" || fail "stale laps were played"

"$render" "$work/patch" --seconds 8 -o "$work/render.wav" || fail "voltina-render failed"
read -r start matched runs problem < <(python3 "$here/capture_tool.py" match "$work/capture.raw" "$work/render.wav")
echo "rate $rate: the render starts at capture frame $start; $matched frames matched in order, $runs underrun runs, problem: $problem"
[ "$problem" = none ] || fail "the program does not play what voltina-render writes ($problem)"
[ "$matched" -ge $((rate * 4)) ] || fail "only $matched frames of the render were heard"
[ "$runs" -le 3 ] || fail "$runs underruns"
echo "PASS"
