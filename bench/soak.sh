#!/usr/bin/env bash
# The soak: the scheduler plays the default patch with the record switch on for SECONDS (default 600) at
# 44100 Hz through a private PulseAudio null sink, while its GUI thread stalls for 50 ms every 120 ms,
# opens menus and keeps a dialog open for a while; the sink's capture must equal the recording sample for
# sample, with no frame lost and the memory flat. Takes more than SECONDS; not part of scripts/test.
#
#   bench/soak.sh BUILD_DIR [SECONDS]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
export VOLTINA_SOAK_SECONDS=${2:-600} QT_QPA_PLATFORM=offscreen
exec "$here/../tests/support/with_pulse_null_sink.sh" --rate 44100 -- \
    "$build/bin/audio_scenario_test" --gtest_filter=Soak.*
