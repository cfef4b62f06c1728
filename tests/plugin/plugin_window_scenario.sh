#!/usr/bin/env bash
# The plugin's window scenario on a private X server, with the accessibility bus it is read through.
#
#   plugin_window_scenario.sh SCENARIO_BINARY ARTIFACT_DIR     (through with_accessibility_bus.sh)
set -uo pipefail
. "$(dirname "$0")/../support/scenario_session.sh"
art=$2
mkdir -p "$art"
rm -f "$art"/*.png
scenario_begin plugin-window
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" ARTIFACTS="$art"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# No MIDI system and no sound server of this machine's: the window must need neither.
export JACK_DEFAULT_SERVER="voltina-scenario-nobody-$$"
start_xvfb 1280x1024x24
"$1" && echo PASS || fail "the plugin's window scenario"
