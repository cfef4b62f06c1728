#!/usr/bin/env bash
# Runs nsm_scenario.py on a private X server; run it through tests/support/with_jack_dummy.sh.
#   nsm_scenario.sh VOLTINA_BINARY ARTIFACT_DIR
set -uo pipefail
. "$(dirname "$0")/../support/scenario_session.sh"
bin=$1
art=$2
mkdir -p "$art"
rm -f "$art"/*.png "$art"/voltina*.log
scenario_begin nsm
start_xvfb 1280x1024x24
# Debian's python3, which has python3-liblo (another python3 may come first on PATH).
/usr/bin/python3 "$(dirname "$0")/nsm_scenario.py" "$bin" "$art" "$work"
