#!/usr/bin/env bash
# Repatching by hand, on a private X server and a private PulseAudio null sink. The default patch plays;
# the user pulls its cord out of mixer input 307 (silence, the loose end follows the mouse), plugs it into
# 301 (the sound is back), turns channel 1's pan all the way right (the left side falls silent), then
# plugs oscillator 4's output (140 Hz) into mixer input 302 (the left side now carries that pitch).
# Then the Wave player off the happy path: a sample plugged into mixer input 303 sounds, a refused file
# and the good one again leave it sounding; the patch is saved through the menu, the sample taken away,
# and Voltina started from the configuration keeps the Wave cord alive: the sample loaded by hand sounds,
# the cord moves to 304, and the patch saves again with one cord on output 432.
# Every step is made with real clicks and keys; the screenshots stay in the artifact folder.
#
#   cords_scenario.sh VOLTINA_BINARY ARTIFACT_DIR
# Run it through tests/support/with_pulse_null_sink.sh, which provides the sink.
set -uo pipefail
. "$(dirname "$0")/../support/main_window.sh"
. "$(dirname "$0")/../support/scenario_session.sh"
# No MIDI system here, whatever else runs on this machine: the start-up says so once, as on any such desktop.
export JACK_DEFAULT_SERVER="voltina-scenario-nobody-$$"

bin=$1
art=$2
here=$(cd "$(dirname "$0")" && pwd)
judge() { python3 "$here/capture_tool.py" "$@"; }
mkdir -p "$art"
rm -f "$art"/*.png "$art"/capture.wav "$art"/voltina.log
scenario_begin cords
check() { awk "BEGIN { exit !($*) }"; }

: "${VOLTINA_TEST_PULSE_SINK:?run this through with_pulse_null_sink.sh}"

start_xvfb 1280x1024x24
unset VOLTINA_AUDIO

start_capture
sleep 0.5

# A 220.5 Hz square wave, 8-bit mono at 11025 Hz as the Wave player takes it, and a 16-bit file it refuses.
mkdir -p "$work/patches"
cd "$work/patches" || fail "no work folder"
python3 - <<'PY'
import struct
def wave(name, bits, frames):
    data = frames if bits == 8 else b"".join(struct.pack("<h", (b - 128) * 256) for b in frames)
    fmt = struct.pack("<HHIIHH", 1, 1, 11025, 11025 * bits // 8, bits // 8, bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", len(data)) + data
    open(name, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
square = bytes(200 if (i // 25) % 2 == 0 else 56 for i in range(11000))
wave("LOOP.WAV", 8, square)
wave("BAD16.WAV", 16, square)
PY

"$bin" >"$art/voltina.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window titled 'Voltina 3.10'"
# The panel (639 x 442) fills the window under the menu bar.
oy=$(panel_top "$win")
[ "$oy" -ge 0 ] && [ "$oy" -le 60 ] || fail "unexpected window: the panel starts $oy pixels down"
sleep 2.5

# Panel pixels of what the user aims at (the template's dialog units at 7 x 13 base units).
at() { echo "$1 $(($2 + oy))"; }                 # panel -> window coordinates
click_at() { xdotool mousemove --window "$win" $(at "$1" "$2") click 1; }
shot() { import -window "$win" "$art/$1.png" || fail "no screenshot $1"; /usr/bin/convert "$art/$1.png" "$work/$1.ppm"; }
elapsed() { calc "$(now) - $capture_start"; }
# levels FROM SECONDS: waits until the capture holds them, then "left_max right_max left_rms right_rms left_hz".
levels() {
    local until
    until=$(calc "$1 + $2 + 0.2")
    while check "$(elapsed) < $until"; do sleep 0.1; done
    cp "$work/capture.raw" "$work/so_far.raw"
    judge levels "$work/so_far.raw" "$1" "$2"
}
pixel() { judge pixel "$work/$1.ppm" "$2" $(($3 + oy)); }

IN301=(569 39) IN302=(569 91) IN307=(569 351) OUT405=(103 241) PAN0=(601 64)
JP418=(480 271)   # jack point of the panoramiker output, the fixed end of the pulled cord

shot start
t0=$(elapsed)
read -r lmax rmax lrms rrms _ < <(judge levels "$work/capture.raw" "$(calc "$t0 - 1.5")" 1.2)
echo "default patch: left rms $lrms, right rms $rrms"
check "$lrms > 0.01 && $rrms > 0.01" || fail "the default patch is not heard"

# 1. Pull the cord out of 307: nothing reaches the mixer any more.
click_at "${IN307[@]}"
t1=$(elapsed)
sleep 0.4
shot pulled
xdotool mousemove --window "$win" $(at 420 210)
sleep 0.5
shot held
read -r total xor < <(judge band "$work/pulled.ppm" "$work/held.ppm" "${JP418[0]}" $((JP418[1] + oy)) 420 $((210 - 29 + oy)))
echo "band: $xor of $total pixels exclusive-or'ed green"
[ "$total" -gt 50 ] && [ "$xor" -ge $((total * 9 / 10)) ] || fail "no rubber band from 418 to the mouse"
# The loose end keeps following the mouse over a disabled operator sign and over a jack.
for spot in "sign 405 283" "jack 425 280"; do
    read -r what x y <<<"$spot"
    xdotool mousemove --window "$win" $(at "$x" "$y")
    sleep 0.5
    shot "held_$what"
    read -r total xor < <(judge band "$work/pulled.ppm" "$work/held_$what.ppm" "${JP418[0]}" $((JP418[1] + oy)) \
        "$x" $((y - 29 + oy)))
    echo "band over a $what: $xor of $total pixels"
    [ "$total" -gt 20 ] && [ "$xor" -ge $((total * 9 / 10)) ] || fail "the band does not follow over a $what"
done
read -r lmax rmax lrms rrms _ < <(levels "$(calc "$t1 + 0.8")" 1.0)
echo "unplugged: left max $lmax, right max $rmax"
[ "$lmax" -eq 0 ] && [ "$rmax" -eq 0 ] || fail "sound while the cord is out"

# 2. Plug the loose end into 301.
click_at "${IN301[@]}"
t2=$(elapsed)
read -r lmax rmax lrms rrms _ < <(levels "$(calc "$t2 + 0.8")" 1.0)
echo "into 301: left rms $lrms, right rms $rrms"
check "$lrms > 0.01 && $rrms > 0.01" || fail "no sound from mixer input 301"
shot replugged
read -r r g b < <(pixel replugged "${IN301[0]}" 25)
[ "$r $g $b" = "0 255 0" ] || fail "the cord into 301 is not green above the jack ($r $g $b)"

# 3. Hold the right button on channel 1's pan control: it steps up to +10, all right.
xdotool mousemove --window "$win" $(at "${PAN0[@]}") mousedown 3
sleep 1.6
shot pan_held
xdotool mouseup 3
t3=$(elapsed)
read -r lmax rmax lrms rrms _ < <(levels "$(calc "$t3 + 0.8")" 1.0)
echo "panned right: left max $lmax, right rms $rrms"
[ "$lmax" -eq 0 ] || fail "the left side still sounds with the pan all right"
check "$rrms > 0.01" || fail "the right side fell silent"

# 4. Oscillator 4's first output into 302: its 140 Hz sine on both sides, alone on the left.
click_at "${OUT405[@]}"
sleep 0.3
click_at "${IN302[@]}"
t4=$(elapsed)
read -r lmax rmax lrms rrms hz < <(levels "$(calc "$t4 + 0.8")" 1.5)
echo "oscillator 4 into 302: left rms $lrms at $hz Hz, right rms $rrms"
check "$lrms > 0.005 && $hz > 137 && $hz < 143" || fail "the left side does not carry oscillator 4's 140 Hz"
check "$rrms > 0.01" || fail "the right side fell silent"
shot final
read -r r g b < <(pixel final "${IN301[0]}" 25)
[ "$r $g $b" = "0 255 0" ] || fail "first cord in input order is not green ($r $g $b)"
read -r r g b < <(pixel final "${IN302[0]}" 77)
[ "$r $g $b" = "255 0 0" ] || fail "second cord in input order is not red ($r $g $b)"

# 5. The Wave player. Oscillator 4's cord leaves 302 first, so the left side carries only channel 3.
WAVE=(333 182) HP=(431 202) OUT432=(336 213) IN303=(569 143) IN304=(569 195)
# find_window NAME_REGEX: the newest visible window so named other than the main one.
find_window() {
    local w=""
    for _ in $(seq 50); do
        w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -v "^$win\$" | tail -n1)
        [ -n "$w" ] && break
        sleep 0.1
    done
    echo "$w"
}
# wave_pick N: the Wave button, then the list's entry N (0 = BAD16.WAV, 1 = LOOP.WAV) and OK.
wave_pick() {
    click_at "${WAVE[@]}"
    local list keys="Home Down"  # Home alone moves the cursor without selecting
    list=$(find_window '^Chargement Wave$')
    [ -n "$list" ] || fail "no sample list"
    [ "$1" = 0 ] && keys="$keys Up"
    xdotool windowfocus --sync "$list" key $keys Return
    sleep 0.5
}
answer_box() {
    local box
    box=$(find_window '^Voltina 3\.10$')
    [ -n "$box" ] || fail "no message box: $1"
    xdotool windowfocus --sync "$box" key Return
    sleep 0.3
}
no_box() { [ -z "$(xdotool search --onlyvisible --name '^Voltina 3\.10$' | grep -v "^$win\$")" ] || fail "$1"; }
# heard LABEL: the left side carries the 220 Hz square from about now on.
heard() {
    local t lmax rmax lrms rrms hz
    t=$(elapsed)
    read -r lmax rmax lrms rrms hz < <(levels "$(calc "$t + 0.8")" 1.0)
    echo "$1: left rms $lrms at $hz Hz"
    check "$lrms > 0.01 && $hz > 200 && $hz < 240" || fail "$1: the Wave output is not heard"
}
click_at "${IN302[@]}"
sleep 0.3
click_at "${OUT405[@]}"
sleep 0.3
wave_pick 1
click_at "${OUT432[@]}"
sleep 0.3
click_at "${IN303[@]}"
heard "sample into 303"
wave_pick 0
answer_box "the 16-bit file is not refused"
wave_pick 1
no_box "LOOP.WAV refused"
click_at "${HP[@]}"  # the refusal stopped the sound
heard "after a refused file"
shot wave_again

# 6. Saved through the menu (Alt+S, S), quit with Ctrl+Q, the sample taken away, started from the patch.
xdotool windowfocus --sync "$win" key alt+s s
dialog=$(find_window '^Save a configuration$')
[ -n "$dialog" ] || fail "Alt+S, S does not ask for a configuration's name"
xdotool windowfocus --sync "$dialog" type wavepatch
xdotool key Return
sleep 0.5
[ -f wavepatch ] || fail "the configuration was not saved"
grep -q '"wave": "LOOP.WAV"' wavepatch || fail "the configuration does not name the sample"
xdotool windowfocus --sync "$win" key ctrl+q
answer_box "Ctrl+Q does not ask Finished ?"
for _ in $(seq 50); do kill -0 "$vpid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$vpid" 2>/dev/null && fail "Voltina did not quit"
mv LOOP.WAV LOOP.AWAY
"$bin" wavepatch >>"$art/voltina.log" 2>&1 &
vpid=$!
win=$(main_window 20)  # it answers "Error opening file" on the way
[ -n "$win" ] || fail "no window after starting from the configuration"
sleep 2.5
shot missing_sample
read -r r g b < <(pixel missing_sample "${IN303[0]}" $((IN303[1] - 14)))
echo "cord above 303: $r $g $b"
[ "$r $g $b" = "0 0 0" ] && fail "the Wave cord into 303 is not drawn"
mv LOOP.AWAY LOOP.WAV
wave_pick 1
no_box "LOOP.WAV refused after the start"
heard "loaded by hand after a start without it"
# The cord out of 303 and into 304, and the patch saves with one cord on 432.
click_at "${IN303[@]}"
sleep 0.3
click_at "${IN304[@]}"
sleep 0.3
no_box "moving the Wave cord gave a message"
xdotool windowfocus --sync "$win" key alt+s s
dialog=$(find_window '^Save a configuration$')
[ -n "$dialog" ] || fail "no name asked the second time"
xdotool windowfocus --sync "$dialog" type wavepatch2
xdotool key Return
sleep 0.5
no_box "the moved patch could not be saved"
[ "$(grep -o '\[432, *30[0-9]\]' wavepatch2 | tr -d ' ')" = "[432,304]" ] || fail "output 432 does not carry one cord into 304"
heard "moved to 304"

kill -0 "$vpid" 2>/dev/null || fail "the program ended"
echo "PASS"
