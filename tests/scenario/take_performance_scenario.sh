#!/usr/bin/env bash
# A take played again from its performance, on a private X server, a private PulseAudio null sink and a
# MIDI keyboard on a private JACK server (jack_midiseq looping notes): the start-up patch plays a while
# with oscillator 1 switched to random, then H.P off, Record on, H.P on, and during the take real clicks
# plug the MIDI voice into the mixer, hold a knob, switch a wave type, type a frequency and take a cord
# out, while the keyboard plays. H.P off saves the take as PERF.WAV; beside it PERF.vtk holds every
# gesture and MIDI message; `voltina-render PERF.vtk` writes PERF.WAV again byte for byte, and the take
# is what the sink played. A render of PERF.vtk one second longer begins with the same bytes.
#
#   take_performance_scenario.sh VOLTINA_BINARY VOLTINA_RENDER_BINARY ARTIFACT_DIR
# Run it through tests/support/with_pulse_null_sink.sh and tests/support/with_jack_dummy.sh.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/main_window.sh"
. "$here/../support/scenario_session.sh"

bin=$1
render=$2
art=$3
mkdir -p "$art"
rm -f "$art"/*.png "$art"/capture.wav "$art"/voltina*.log "$art"/PERF.*
scenario_begin performance
: "${VOLTINA_TEST_PULSE_SINK:?run this through with_pulse_null_sink.sh}"
: "${JACK_DEFAULT_SERVER:?run this through with_jack_dummy.sh}"
start_xvfb 1280x1024x24
unset VOLTINA_AUDIO
mkdir -p "$work/songs"
cd "$work/songs" || fail "no folder for the songs"

# The keyboard: notes 57, 64 and 69 in a loop of half a second, each held a while.
jack_midiseq keyboard 22050 0 57 5000 7000 64 4000 14000 69 6000 >"$work/keyboard.log" 2>&1 &
kpid=$!
trap 'kill $kpid 2>/dev/null; scenario_cleanup' EXIT
sleep 1

start_capture
sleep 0.5
"$bin" --midi-port keyboard >"$art/voltina.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window titled 'Voltina 3.10'"
sleep 1.5
bar=$(panel_top "$win")
click() { xdotool mousemove --window "$win" "$1" "$((bar + $2))" click 1; sleep 0.4; }
jack() { click "$(($1 + 14))" "$(($2 + 13))"; }  # a jack's top-left corner in the panel

# Before the take: oscillator 1 (the sinusoider's amplitude) turns random and the patch plays on.
click 79 49
sleep 2
click 422 195  # H.P off
click 337 422  # Record on
on=$(now)
click 422 195  # H.P on: the take begins, from where the patch had got to
sleep 1
jack 320 271   # output 429, the MIDI voice's sine...
jack 555 26    # ...into mixer input 301
sleep 1
xdotool mousemove --window "$win" 34 "$((bar + 143))" mousedown 1  # oscillator 3's knob, held
sleep 0.6
xdotool mouseup 1
sleep 0.5
click 79 82    # oscillator 2 to square
sleep 0.5
click 52 169   # oscillator 3's frequency: the entry opens
entry=""
for _ in $(seq 50); do
    entry=$(xdotool search --onlyvisible --name . 2>/dev/null | while read -r w; do
        [ "$w" != "$win" ] && [ "$(xdotool getwindowname "$w")" != "" ] && echo "$w"; done | tail -n1)
    [ -n "$entry" ] && break
    sleep 0.1
done
[ -n "$entry" ] || { import -window root "$art/no_entry.png"; fail "the frequency entry did not open"; }
xdotool windowfocus --sync "$entry" type 333.5
xdotool windowfocus --sync "$entry" key Return
sleep 1
jack 555 26    # the cord out at 301...
jack 320 271   # ...and let go at its output
sleep 1
import -window "$win" "$art/take.png"
click 422 195  # H.P off: the take ends and its name is asked
name_take perf
for _ in $(seq 50); do [ -s PERF.vtk ] && break; sleep 0.1; done
[ -s PERF.WAV ] || fail "PERF.WAV was not written"
[ -s PERF.vtk ] || fail "PERF.vtk was not written beside PERF.WAV"
cp PERF.WAV PERF.vtk "$art/"

# Every gesture and the keyboard are in the performance.
for what in '"type": "square"' '"typed": 333.5' '"frequency-knob"' '"plug": \[429, 301\]' '"unplug"' '"midi": \[144, '; do
    grep -q "$what" PERF.vtk || fail "PERF.vtk has no $what"
done
grep -q '"type": 3' PERF.vtk || fail "the start state has no random oscillator"

"$render" PERF.vtk -q -o again.wav || fail "voltina-render refused PERF.vtk"
cmp PERF.WAV again.wav || fail "voltina-render PERF.vtk is not PERF.WAV"
echo "voltina-render PERF.vtk: $(stat -c %s again.wav) bytes, the same as PERF.WAV"
frames=$(( ($(stat -c %s PERF.WAV) - 44) / 2 ))
"$render" PERF.vtk -q --frames $((frames + 11025)) -o longer.wav || fail "a longer render was refused"
cmp -n "$(stat -c %s PERF.WAV)" <(tail -c +45 longer.wav | head -c $((2 * frames)) | cat <(head -c 44 PERF.WAV) -) PERF.WAV ||
    fail "the longer render does not begin with the take"
sox longer.wav -n stat 2>&1 | grep -E "Length|RMS +amplitude" | tr -s ' '

kill "$vpid" 2>/dev/null
wait "$vpid" 2>/dev/null
vpid=""
cp "$work/capture.raw" "$work/played.raw"
python3 "$here/../support/take_in_capture.py" "$work/played.raw" PERF.WAV "$(calc "$on - $capture_start")" ||
    fail "the take is not what the sink played"
echo "PASS"
