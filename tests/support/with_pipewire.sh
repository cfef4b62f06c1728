#!/usr/bin/env bash
# Runs a command against a private PipeWire server with WirePlumber, as current desktops run them, on a
# session bus of its own: nothing of a desktop's own sound session is seen or touched. Everything lives in
# a fresh temporary folder; the servers and the bus are stopped, and the folder removed, when the command
# ends (or this script is interrupted). With no sound card the graph runs on PipeWire's dummy driver.
#
#   with_pipewire.sh [--rate HZ] [--quantum FRAMES] -- COMMAND [ARGS...]
#
# --rate and --quantum force the graph's rate and block size before the command starts. Run JACK programs
# with pw-jack. The command sees XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS and friends pointing at the
# server, and VOLTINA_TEST_PIPEWIRE_PID (the server's process id).
set -uo pipefail

rate=""
quantum=""
while [ $# -gt 0 ]; do
    case "$1" in
        --rate) rate=$2; shift 2 ;;
        --quantum) quantum=$2; shift 2 ;;
        --) shift; break ;;
        *) echo "with_pipewire.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[ $# -gt 0 ] || { echo "with_pipewire.sh: no command" >&2; exit 2; }

. "$(dirname "$0")/server_session.sh"
server_session pipewire

# The session manager and the bus go before the server, the folder last.
others=()
stop_all() {
    for p in "${others[@]}"; do kill -TERM "$p" 2>/dev/null; done
    stop_server
}
trap stop_all EXIT

mkdir -p "$dir/runtime" "$dir/config" "$dir/state"
chmod 700 "$dir/runtime"
export XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state"
unset PIPEWIRE_REMOTE PULSE_SERVER JACK_DEFAULT_SERVER PIPEWIRE_LATENCY

if ! dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 3>"$dir/bus" 4>"$dir/bus.pid"; then
    echo "with_pipewire.sh: no session bus" >&2
    exit 1
fi
others+=("$(cat "$dir/bus.pid")")
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$dir/bus")
export DBUS_SESSION_BUS_ADDRESS

pipewire </dev/null >"$dir/pipewire.log" 2>&1 &
pid=$!
disown "$pid" 2>/dev/null
wireplumber </dev/null >"$dir/wireplumber.log" 2>&1 &
others=("$!" "${others[@]}")
disown "$!" 2>/dev/null

ready=no
for _ in $(seq 200); do
    if pw-metadata -n settings 0 2>/dev/null | grep -q "clock.rate" && pw-jack jack_samplerate >/dev/null 2>&1; then
        ready=yes
        break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [ "$ready" != yes ]; then
    echo "with_pipewire.sh: the PipeWire server did not start; its logs:" >&2
    cat "$dir/pipewire.log" "$dir/wireplumber.log" >&2 2>/dev/null
    exit 1
fi
[ -z "$rate" ] || pw-metadata -n settings 0 clock.force-rate "$rate" >/dev/null
[ -z "$quantum" ] || pw-metadata -n settings 0 clock.force-quantum "$quantum" >/dev/null

export VOLTINA_TEST_PIPEWIRE_PID=$pid
"$@"
exit $?
