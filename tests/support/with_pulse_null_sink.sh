#!/usr/bin/env bash
# Runs a command against a private PulseAudio server whose only sink is a null sink, so nothing plays on a
# desktop's speakers and several runs can go on at once. The server lives in a fresh temporary folder and
# is stopped, and the folder removed, when the command ends (or this script is interrupted).
#
#   with_pulse_null_sink.sh [--rate HZ] [--no-sink] -- COMMAND [ARGS...]
#
# The command sees PULSE_RUNTIME_PATH and friends pointing at the server, and:
#   VOLTINA_TEST_PULSE_PID   the server's process id (a test may kill it)
#   VOLTINA_TEST_PULSE_SINK  the sink's name; its monitor is "$VOLTINA_TEST_PULSE_SINK.monitor"
#   VOLTINA_TEST_PULSE_RATE  the sink's rate
#   VOLTINA_TEST_PULSE_NO_SINK  set (to 1) when started with --no-sink
set -uo pipefail

rate=11025
sink=yes
while [ $# -gt 0 ]; do
    case "$1" in
        --rate) rate=$2; shift 2 ;;
        --no-sink) sink=no; shift ;;
        --) shift; break ;;
        *) echo "with_pulse_null_sink.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[ $# -gt 0 ] || { echo "with_pulse_null_sink.sh: no command" >&2; exit 2; }

. "$(dirname "$0")/server_session.sh"
server_session pulse

mkdir -p "$dir/pulse" "$dir/config" "$dir/state" "$dir/runtime"
chmod 700 "$dir/pulse" "$dir/runtime"
export PULSE_RUNTIME_PATH="$dir/pulse" XDG_CONFIG_HOME="$dir/config" PULSE_STATE_PATH="$dir/state"
export XDG_RUNTIME_DIR="$dir/runtime"
# Takes a program under test spools (and one killed leaves behind) stay in the run's folder.
export XDG_DATA_HOME="$dir/data"
unset PULSE_SERVER PULSE_SINK

sink_name="voltina_null_$$"
modules=()
if [ "$sink" = yes ]; then
    modules+=(-L "module-null-sink sink_name=$sink_name rate=$rate channels=2 norewinds=1")
fi
pulseaudio -n --daemonize=no --exit-idle-time=-1 --realtime=no --high-priority=no --disallow-exit \
    --log-target=file:"$dir/pulse.log" "${modules[@]}" -L module-native-protocol-unix </dev/null \
    >/dev/null 2>&1 &
pid=$!
disown "$pid" 2>/dev/null

ready=no
for _ in $(seq 200); do
    if pactl info >/dev/null 2>&1; then ready=yes; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [ "$ready" != yes ]; then
    echo "with_pulse_null_sink.sh: the PulseAudio server did not start; its log:" >&2
    cat "$dir/pulse.log" >&2 2>/dev/null
    exit 1
fi

export VOLTINA_TEST_PULSE_PID=$pid VOLTINA_TEST_PULSE_SINK=$sink_name VOLTINA_TEST_PULSE_RATE=$rate
[ "$sink" = yes ] || export VOLTINA_TEST_PULSE_NO_SINK=1
"$@"
exit $?
