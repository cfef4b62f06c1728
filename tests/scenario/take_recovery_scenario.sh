#!/usr/bin/env bash
# A take that survives a kill, on a private X server and a private PulseAudio null sink: the program
# starts and plays, H.P off, Record on, H.P on; while it records, `voltina --recover` lists nothing (the
# running program holds its take); after a few seconds it is killed with SIGKILL. `voltina --recover`
# then lists the take, the next start offers it, the name "rescued" saves it as RESCUED.WAV in the
# current folder, and its frames are those the sink played, in order, up to about a second before the
# kill; the unsaved folder is empty afterwards. A wave type switched during the take is in the performance
# saved beside it, RESCUED.vtk, from which voltina-render writes RESCUED.WAV again byte for byte.
#
#   take_recovery_scenario.sh VOLTINA_BINARY ARTIFACT_DIR [VOLTINA_RENDER_BINARY]
# Run it through tests/support/with_pulse_null_sink.sh, which provides the sink.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/main_window.sh"
. "$here/../support/scenario_session.sh"
export JACK_DEFAULT_SERVER="voltina-scenario-nobody-$$"

bin=$1
art=$2
render=${3:-}
mkdir -p "$art"
rm -f "$art"/*.png "$art"/capture.wav "$art"/voltina*.log
scenario_begin recovery
: "${VOLTINA_TEST_PULSE_SINK:?run this through with_pulse_null_sink.sh}"
start_xvfb 1280x1024x24
unset VOLTINA_AUDIO
# (XDG_DATA_HOME is the run's own: see scenario_begin)
mkdir -p "$work/songs"
cd "$work/songs" || fail "no folder for the songs"

start_capture
sleep 0.5
"$bin" >"$art/voltina-1.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window titled 'Voltina 3.10'"
sleep 1.5
bar=$(panel_top "$win")
click() { xdotool mousemove --window "$win" "$1" "$((bar + $2))" click 1; sleep 0.4; }
click 422 195  # H.P off
click 337 422  # Record on
on=$(now)
click 422 195  # H.P on: the take begins
sleep 1.5
listed=$("$bin" --recover)
echo "while recording: $listed"
case "$listed" in "No unsaved takes"*) ;; *) fail "a take still being recorded was listed" ;; esac
click 79 82  # oscillator 2 to square, in the take's performance
sleep 2.6
kill -KILL "$vpid"
killed=$(now)
wait "$vpid" 2>/dev/null
vpid=""
sleep 1.0
cp "$work/capture.raw" "$work/first.raw"
echo "killed $(calc "$killed - $capture_start") s into the capture"

listed=$("$bin" --recover)
echo "after the kill: $listed"
[ "$(grep -c '/take-.*\.wav ' <<<"$listed")" -eq 1 ] || fail "--recover does not list the one take"

"$bin" >"$art/voltina-2.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window the second time"
prompt=""
for _ in $(seq 100); do
    prompt=$(xdotool search --onlyvisible --name '^Save to Wave$' 2>/dev/null | head -n1)
    [ -n "$prompt" ] && break
    # The offer of the autosaved panel (Restore), then of the take ("Save..." is its default button),
    # unless main_window answered them already.
    for w in $(xdotool search --onlyvisible --name '^Voltina 3\.10$' 2>/dev/null); do
        [ "$w" != "$win" ] && xdotool windowfocus --sync "$w" key Return 2>/dev/null
    done
    sleep 0.2
done
[ -n "$prompt" ] || { import -window root "$art/no_prompt.png"; fail "the take was not offered"; }
xdotool windowfocus --sync "$prompt" type rescued
xdotool windowfocus --sync "$prompt" key Return
for _ in $(seq 50); do [ -s RESCUED.WAV ] && break; sleep 0.1; done
[ -s RESCUED.WAV ] || fail "RESCUED.WAV was not written"
sleep 0.3
# (the running program's own autosave of its panel lives there too)
left=$(find "$XDG_DATA_HOME/voltina/unsaved" -type f -name 'take-*' | wc -l)
[ "$left" -eq 0 ] || fail "$left takes are left in the unsaved folder"
cp RESCUED.WAV "$art/RESCUED.WAV"
if [ -n "$render" ]; then
    [ -s RESCUED.vtk ] || fail "the recovered take has no performance beside it"
    cp RESCUED.vtk "$art/RESCUED.vtk"
    grep -q '"type": "square"' RESCUED.vtk || fail "the wave type switched during the take is not in RESCUED.vtk"
    "$render" RESCUED.vtk -q -o again.wav || fail "voltina-render refused RESCUED.vtk"
    cmp RESCUED.WAV again.wav || fail "voltina-render RESCUED.vtk is not RESCUED.WAV"
    echo "voltina-render RESCUED.vtk gives RESCUED.WAV byte for byte"
fi
sndfile-info RESCUED.WAV | grep -q "Frames" || fail "RESCUED.WAV is not a WAV file sndfile reads"

# Played up to about a second before the kill (the ring and the spool's last write).
python3 "$here/../support/take_in_capture.py" "$work/first.raw" RESCUED.WAV "$(calc "$on - $capture_start")" \
    --at-least 2 --ends-within 1.2 || fail "the take is not what the sink played"
kill "$vpid" 2>/dev/null
wait "$vpid" 2>/dev/null
vpid=""
echo "PASS"
