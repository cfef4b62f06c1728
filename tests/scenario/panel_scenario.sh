#!/usr/bin/env bash
# A new user's first minute, on a private X server and a private PulseAudio null sink: the program
# starts, its window "Voltina 3.10" appears, the default patch sounds by itself shortly after, the H.P
# switch is lit; a cord pulled out by mistake goes quiet, Ctrl+Z brings it back and Ctrl+Shift+Z takes it
# out again, as heard in the sink; "System" -> "Quit Voltina" asks "Finished ?"; Cancel keeps the sound
# going; OK ends the program with exit code 0. Screenshots are kept in the artifact folder.
#
#   panel_scenario.sh VOLTINA_BINARY ARTIFACT_DIR
# Run it through tests/support/with_pulse_null_sink.sh, which provides the sink.
set -uo pipefail
. "$(dirname "$0")/../support/main_window.sh"
. "$(dirname "$0")/../support/scenario_session.sh"
# No MIDI system here, whatever else runs on this machine: the start-up says so once, as on any such desktop.
export JACK_DEFAULT_SERVER="voltina-scenario-nobody-$$"

bin=$1
art=$2
mkdir -p "$art"
rm -f "$art"/*.png "$art"/capture.wav "$art"/voltina.log
scenario_begin scenario

: "${VOLTINA_TEST_PULSE_SINK:?run this through with_pulse_null_sink.sh}"

start_xvfb 1280x1024x24
unset VOLTINA_AUDIO

# Capture the sink from before the program starts; the capture's start time dates every sample.
start_capture
sleep 0.5

"$bin" >"$art/voltina.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window titled 'Voltina 3.10'"
shown=$(now)
echo "window $win shown after $(calc "$shown - $capture_start") s of capture"
sleep 2.5

import -window "$win" "$art/panel.png" || fail "no screenshot"
# H.P lit: its loudspeaker's amber waves are on screen where the switch sits (411, 184 in the panel,
# under a menu bar of at most 40 pixels).
amber=$(/usr/bin/convert "$art/panel.png" -crop 40x76+411+184 +repage -fuzz 12% -fill black +opaque '#ffb400' \
    -fill white -opaque '#ffb400' -format '%[fx:round(mean*w*h)]' info:)
echo "amber pixels at H.P: $amber"
[ "$amber" -ge 20 ] || fail "the H.P switch is not lit"

# The capture so far: when did the sound begin, relative to the window showing?
sec_of_first_sound() {  # file -> seconds into it of the first sample above 1/16 of full scale, or empty
    sox "${RAW[@]}" "$1" -t dat - 2>/dev/null | awk '!/^;/ { v=$2; if (v < 0) v = -v; if (v > 0.0625) { print $1; exit } }'
}
cp "$work/capture.raw" "$work/so_far.raw"
onset=$(sec_of_first_sound "$work/so_far.raw")
[ -n "$onset" ] || fail "nothing was heard"
delay=$(calc "$capture_start + $onset - $shown")
echo "sound began $delay s after the window showed"
# The panel is set up just before the window shows; the first tick comes 300 ms later, the first
# render 100 ms after it, and the device reaches it one ring length (about 0.3 s) on.
awk -v d="$delay" 'BEGIN { exit !(d > -0.3 && d < 2.0) }' || fail "the sound began $delay s after the window"

# The start-up patch reaches the mixer only through the auto-pan's cord into input 307 (at 555, 338 in
# the panel, 28 x 26): taken out there and let go at its output 418 (466, 271), the panel falls silent.
bar=$(panel_top "$win")
xdotool mousemove --window "$win" $((555 + 14)) $((bar + 338 + 13)) click 1
sleep 0.3
xdotool mousemove --window "$win" $((466 + 14)) $((bar + 271 + 13)) click 1
expect_sound "cord pulled out" quiet
xdotool windowfocus --sync "$win" key ctrl+z
expect_sound "Ctrl+Z" loud
import -window "$win" "$art/undone.png"
xdotool windowfocus --sync "$win" key ctrl+shift+z
expect_sound "Ctrl+Shift+Z" quiet
xdotool windowfocus --sync "$win" key ctrl+z
expect_sound "Ctrl+Z again" loud

open_quit() {
    xdotool mousemove --window "$win" 25 10 click 1
    sleep 0.5
    local menu
    menu=$(xdotool search --onlyvisible --class voltina | while read -r w; do
        [ "$w" != "$win" ] && echo "$w"; done | tail -n1)
    [ -n "$menu" ] || fail "the System menu did not open"
    import -window root "$art/menu.png"
    xdotool key Up Return
}
find_box() {
    for _ in $(seq 50); do
        box=$(xdotool search --onlyvisible --name '^Voltina 3\.10$' | grep -v "^$win\$" | head -n1)
        [ -n "$box" ] && return 0
        sleep 0.1
    done
    return 1
}

open_quit
find_box || fail "no 'Finished ?' question"
sleep 0.3
import -window "$box" "$art/finished.png"
xdotool windowfocus --sync "$box" key Escape
sleep 1.0
kill -0 "$vpid" 2>/dev/null || fail "the program ended on Cancel"
cp "$work/capture.raw" "$work/after_cancel.raw"
len=$(calc "$(stat -c %s "$work/after_cancel.raw") / 44100")
start=$(calc "$len - 0.5")
rms=$(sox "${RAW[@]}" "$work/after_cancel.raw" -n trim "$start" 0.5 stat 2>&1 | awk '/RMS +amplitude/ { print $3 }')
echo "RMS of the last half second after Cancel: $rms"
awk -v r="$rms" 'BEGIN { exit !(r > 0.01) }' || fail "the sound stopped after Cancel"

open_quit
find_box || fail "no 'Finished ?' question the second time"
sleep 0.3
xdotool windowfocus --sync "$box" key Return
for _ in $(seq 100); do kill -0 "$vpid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$vpid" 2>/dev/null && fail "the program is still running after OK"
wait "$vpid"
status=$?
vpid=""
echo "exit code $status"
[ "$status" -eq 0 ] || fail "exit code $status"
echo "PASS"
