# Sourced by the scenario scripts: a folder for the run, a private X server, a capture of the null sink,
# and the clean-up of all of them. The script sets art (its artifact folder) before scenario_begin.
#
#   scenario_begin NAME   makes $work (a fresh temporary folder voltina-NAME.XXXXXX, which also holds
#                         XDG_DATA_HOME); when the script ends, the program ($vpid), the capture ($cpid)
#                         and the X server ($xpid) are ended, a capture is kept as $art/capture.wav, and
#                         $work is removed
#   start_xvfb SCREEN     starts Xvfb (SCREEN like 1280x1024x24) on a free display and exports DISPLAY
#   start_capture         records "$VOLTINA_TEST_PULSE_SINK.monitor" into $work/capture.raw (format RAW);
#                         capture_start is the time of its first sample
#   expect_sound WHAT loud|quiet
#                         waits for the ring and half a second to play, then fails unless the capture's
#                         last half second is loud (RMS over 0.01) or quiet (under 0.001); last_rms
#                         prints that RMS
#   fail MESSAGE          ends the scenario as failed (a script may define its own after sourcing this)
#   now, calc EXPR        the time in seconds; EXPR worked out to three decimals

# The capture's raw frames, for sox.
RAW=(-t raw -r 11025 -e signed-integer -b 16 -c 2)
xpid="" vpid="" cpid=""

fail() { echo "FAIL: $*" >&2; exit 1; }
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.3f\", $* }"; }

scenario_cleanup() {
    for p in $vpid $cpid $xpid; do
        if kill -0 "$p" 2>/dev/null; then kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; fi
    done
    [ -s "$work/capture.raw" ] && sox "${RAW[@]}" "$work/capture.raw" "$art/capture.wav" 2>/dev/null
    rm -rf "$work"
}

scenario_begin() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/voltina-$1.XXXXXX")
    # Takes the program spools (and one killed leaves behind) stay in the run's folder.
    export XDG_DATA_HOME="$work/data"
    trap scenario_cleanup EXIT
}

start_xvfb() {
    # A display of our own: Xvfb picks a free number and writes it to fd 3. Without -noreset the server
    # starts over when its last client leaves, and a program started just then cannot connect.
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xpid=$!
    exec 3>&-
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -n1 "$work/display")"
}

# Answers the "Save to Wave" prompt that ending a take opens, with the name $1.
name_take() {
    local prompt=""
    for _ in $(seq 50); do
        prompt=$(xdotool search --onlyvisible --name '^Save to Wave$' 2>/dev/null | head -n1)
        [ -n "$prompt" ] && break
        sleep 0.1
    done
    [ -n "$prompt" ] || { import -window root "$art/no_prompt.png"; fail "no 'Save to Wave' prompt"; }
    xdotool windowfocus --sync "$prompt" type "$1"
    xdotool windowfocus --sync "$prompt" key Return
}

start_capture() {
    # Raw frames, so a copy taken while it runs is complete up to its last byte.
    parec -d "$VOLTINA_TEST_PULSE_SINK.monitor" --rate=11025 --channels=2 --format=s16le >"$work/capture.raw" &
    cpid=$!
    capture_start=$(now)
}

# RMS amplitude of the capture's last half second.
last_rms() {
    cp "$work/capture.raw" "$work/now.raw"
    local len
    len=$(calc "$(stat -c %s "$work/now.raw") / 44100")
    sox "${RAW[@]}" "$work/now.raw" -n trim "$(calc "$len - 0.5")" 0.5 stat 2>&1 | awk '/RMS +amplitude/ { print $3 }'
}

expect_sound() {  # what, "loud" or "quiet"
    sleep 1.2  # the ring's length and the half second measured
    local rms
    rms=$(last_rms)
    echo "$1: RMS $rms"
    if [ "$2" = loud ]; then
        awk -v r="$rms" 'BEGIN { exit !(r > 0.01) }' || fail "$1: nothing heard"
    else
        awk -v r="$rms" 'BEGIN { exit !(r < 0.001) }' || fail "$1: still heard"
    fi
}
