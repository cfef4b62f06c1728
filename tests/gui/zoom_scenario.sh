#!/usr/bin/env bash
# The window at --zoom 2 on a private X server, with real clicks: it is twice the size it is at --zoom 1,
# and a cord made by clicking output 405 and then input 302 where they are drawn lands on those two jacks
# (the cord's pixels are where the jacks are on the screen) and in the engine (the configuration saved
# from the menu holds the cord [405, 302]). Screenshots stay in the artifact folder.
#
#   zoom_scenario.sh VOLTINA_BINARY ARTIFACT_DIR
set -uo pipefail
. "$(dirname "$0")/../support/main_window.sh"
. "$(dirname "$0")/../support/scenario_session.sh"

bin=$(realpath "$1")
art=$2
mkdir -p "$art"
rm -f "$art"/*.png "$art"/*.log
scenario_begin zoom
fail() {
    [ -n "${DISPLAY:-}" ] && import -window root "$art/failure.png" 2>/dev/null
    echo "FAIL: $*" >&2
    exit 1
}

start_xvfb 1600x1200x24
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# No MIDI system can be reached here: the start-up says so once, before the window shows.
export JACK_DEFAULT_SERVER="voltina-zoom-nobody-$$"
unset QT_SCALE_FACTOR QT_QPA_PLATFORM

# Starts voltina at a zoom in $work, answers the MIDI message, and sets win, WIDTH and HEIGHT.
start() {
    (cd "$work" && exec "$bin" --audio null --zoom "$1" >"$art/voltina-zoom$1.log" 2>&1) &
    vpid=$!
    win=$(main_window 20)
    [ -n "$win" ] || fail "no main window at zoom $1"
    sleep 1.5  # the first tick and the panel's first paint
    eval "$(xdotool getwindowgeometry --shell "$win")"
}

stop() {
    kill "$vpid" 2>/dev/null
    wait "$vpid" 2>/dev/null
    vpid=""
}

# Pixels of the cords' colours (pure green or red) in a box of the window's screenshot.
cord_pixels() {  # shot x y w h
    /usr/bin/convert "$1" -crop "$4x$5+$2+$3" +repage -fuzz 15% \
        -fill white -opaque '#00ff00' -fill white -opaque '#ff0000' -fill black +opaque white \
        -format '%[fx:round(mean*w*h)]' info:
}

start 1
w1=$WIDTH h1=$HEIGHT
stop
echo "zoom 1: ${w1}x${h1}"

start 2
echo "zoom 2: ${WIDTH}x${HEIGHT}"
[ "$WIDTH" -eq $((2 * w1)) ] && [ "$HEIGHT" -eq $((2 * h1)) ] || fail "the window is not twice the size"
bar=$((HEIGHT / 2 - 442))  # the menu bar over the 639 x 442 panel, in zoom-1 pixels
import -window "$win" "$art/before.png" || fail "no screenshot"

# Where the panel draws the two jacks (the template's dialog units at 7 x 13 base units), doubled:
# output 405 at (89, 228) and input 302 at (555, 78), each 28 x 26.
z() { echo $((2 * $1)); }
xdotool mousemove --window "$win" "$(z $((89 + 14)))" "$(z $((bar + 228 + 13)))" click 1
sleep 0.4
xdotool mousemove --window "$win" "$(z $((555 + 14)))" "$(z $((bar + 78 + 13)))"
sleep 0.3
import -window "$win" "$art/band.png"
xdotool click 1
sleep 0.6
import -window "$win" "$art/after.png" || fail "no screenshot"

# The cord arrives at input 302's jack point (14, 0) from above, where no cord ran before; it leaves
# output 405 sideways at its plug (jack point + (14, 13)) for its lane, beside the default patch's lanes.
in_box=("$(z 563)" "$(z $((bar + 60)))" 24 34)
out_box=("$(z 113)" "$(z $((bar + 236)))" 24 20)
before_in=$(cord_pixels "$art/before.png" "${in_box[@]}")
after_in=$(cord_pixels "$art/after.png" "${in_box[@]}")
before_out=$(cord_pixels "$art/before.png" "${out_box[@]}")
after_out=$(cord_pixels "$art/after.png" "${out_box[@]}")
echo "cord pixels at input 302: $before_in -> $after_in; at output 405: $before_out -> $after_out"
[ "$before_in" -eq 0 ] || fail "cord colours at input 302 before its cord"
[ "$after_in" -ge 20 ] || fail "no cord at input 302 where it was clicked"
[ "$after_out" -ge $((before_out + 12)) ] || fail "no cord leaving output 405 where it was clicked"

# The engine has the cord: "System" > "Save a configuration" writes it.
xdotool mousemove --window "$win" "$(z 25)" "$(z 9)" click 1
menu=""
for _ in $(seq 50); do
    menu=$(xdotool search --onlyvisible --class voltina 2>/dev/null | grep -v "^$win\$" | tail -n1)
    [ -n "$menu" ] && break
    sleep 0.1
done
[ -n "$menu" ] || fail "the System menu did not open"
sleep 0.3
xdotool key Down Down Return
dialog=""
for _ in $(seq 100); do
    dialog=$(xdotool search --onlyvisible --name '^Save a configuration$' | head -n1)
    [ -n "$dialog" ] && break
    sleep 0.1
done
[ -n "$dialog" ] || fail "no 'Save a configuration' dialog"
xdotool windowfocus --sync "$dialog" type zoomed
xdotool key Return
for _ in $(seq 100); do [ -s "$work/zoomed" ] && break; sleep 0.1; done
[ -s "$work/zoomed" ] || fail "no configuration saved"
cp "$work/zoomed" "$art/zoomed"
grep -q '\[405, 302\]' "$work/zoomed" || fail "the saved configuration has no cord 405 -> 302"
stop
echo "PASS"
