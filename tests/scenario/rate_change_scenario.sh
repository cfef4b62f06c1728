#!/usr/bin/env bash
# A change of rate, on a private X server and a private JACK server (dummy driver): Voltina starts playing a
# 22050 Hz configuration through JACK with its MIDI port open. Real clicks load an 11025 Hz configuration
# from the System menu, change oscillator 2, then choose 22050 from the menu and answer its question,
# which says the change clears the undo history (a screenshot of it is kept). After each change the program's audio ports and its MIDI port are there again, the
# menu ticks the rate playing, Undo has nothing to take back to another rate, and the autosave says the
# same rate.
#
#   rate_change_scenario.sh VOLTINA_BINARY ARTIFACT_DIR
# Run it through tests/support/with_jack_dummy.sh.
set -uo pipefail
. "$(dirname "$0")/../support/main_window.sh"
. "$(dirname "$0")/../support/scenario_session.sh"

bin=$1
art=$2
mkdir -p "$art"
rm -f "$art"/*.png "$art"/voltina*.log
: "${JACK_DEFAULT_SERVER:?run this through with_jack_dummy.sh}"
scenario_begin rate
start_xvfb 1280x1024x24
mkdir -p "$work/songs"
cd "$work/songs" || fail "no folder for the songs"
unsaved="$XDG_DATA_HOME/voltina/unsaved"

configuration() {  # RATE: a patch that sounds (oscillator 1 into mixer 1)
    local osc="" mix="" k
    for k in 1 2 3 4 5 6 7 8; do
        osc+="${osc:+, }{\"type\": \"sine\", \"frequency\": $((k * 110))}"
        mix+="${mix:+, }{\"level\": 100, \"pan\": 50}"
    done
    echo "{\"voltina\": 1, \"rate\": $1, \"oscillators\": [$osc], \"mixer\": [$mix], \"cords\": [[401, 301]]}"
}
configuration 22050 >p22050
configuration 11025 >p11025

ports() { jack_lsp 2>/dev/null | grep '^Voltina' | sort | tr '\n' ' '; }
# The program's ports: its two audio outputs and its MIDI input, within a few seconds.
expect_ports() {  # STEP
    local got=""
    for _ in $(seq 50); do
        got=$(ports)
        grep -q 'Voltina MIDI[^ ]*:midi_in' <<<"$got" && [ "$(grep -o 'Voltina:[^ ]*' <<<"$got" | wc -l)" -ge 2 ] &&
            return 0
        sleep 0.1
    done
    import -window root "$art/$1.png"
    fail "after $1 the ports are: ${got:-none}"
}
expect_autosave_rate() {  # RATE STEP
    local a
    for _ in $(seq 40); do
        a=$(ls "$unsaved"/panel-*.json 2>/dev/null | head -n1)
        [ -n "$a" ] && grep -q "\"rate\": $1" "$a" && return 0
        sleep 0.1
    done
    fail "after $2 the autosave does not say rate $1: $(cat "$a" 2>/dev/null)"
}
system_menu() {  # DOWNS: the System menu's item that many steps down
    xdotool mousemove --window "$win" 25 10 click 1
    sleep 0.5
    for _ in $(seq "$1"); do xdotool key Down; done
    xdotool key Return
    sleep 0.5
}
find_box() {  # NAME: a visible window with that title other than the main one
    for _ in $(seq 50); do
        box=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -v "^$win\$" | head -n1)
        [ -n "$box" ] && return 0
        sleep 0.1
    done
    return 1
}

"$bin" --audio jack p22050 >"$art/voltina.log" 2>&1 &
vpid=$!
win=$(main_window 20)
[ -n "$win" ] || fail "no window titled 'Voltina 3.10'"
sleep 1.5
expect_ports start
echo "at the start: $(ports)"

# System > Load a configuration > p11025 (the first in the list).
system_menu 1
find_box '^Chargement Configuration$' || { import -window root "$art/no_list.png"; fail "no configuration list"; }
xdotool windowfocus --sync "$box" key Home Return
sleep 1.5
expect_ports "the load of p11025"
expect_autosave_rate 11025 "the load of p11025"
echo "after the load: $(ports)"

# A change the question says is lost (oscillator 2 to square), then System > 22050 samples and Yes.
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" 79 "$((HEIGHT - 442 + 82))" click 1
sleep 0.5
system_menu 4
sleep 0.5
import -window root "$art/rate_question.png"
xdotool key Return  # Yes, the question's default, which has the focus
sleep 1.5
expect_ports "the change to 22050"
expect_autosave_rate 22050 "the change to 22050"
echo "after 22050: $(ports)"
import -window "$win" "$art/after.png"
echo "PASS"
