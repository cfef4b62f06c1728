#!/usr/bin/env bash
# Repatching by hand, on a private X server and a private PulseAudio null sink. The default patch plays;
# the user pulls its cord out of mixer input 307 (silence, the loose end follows the mouse), plugs it into
# 301 (the sound is back), turns channel 1's pan all the way right (the left side falls silent), then
# plugs oscillator 4's output (140 Hz) into mixer input 302 (the left side now carries that pitch).
# Every step is made with real clicks; the screenshots stay in the artifact folder.
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

"$bin" >"$art/voltina.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window titled 'Voltina 3.10'"
eval "$(xdotool getwindowgeometry --shell "$win")"
# The panel (639 x 442) fills the window under the menu bar.
oy=$((HEIGHT - 442))
[ "$oy" -ge 0 ] && [ "$oy" -le 60 ] || fail "unexpected window height $HEIGHT"
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

kill -0 "$vpid" 2>/dev/null || fail "the program ended"
echo "PASS"
