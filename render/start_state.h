#pragma once
// The engine's whole running state at a take's first frame, as the "start" member of a performance:
// everything the next frame is computed from (the rate and channels, every oscillator's phase, ramp and
// counters, the 32 outputs, the mixer, the cords, the MIDI voice and its held keys, the Wave player's
// sample and position, the random oscillators' generator). A take starts wherever the patch had got to,
// so a configuration alone would not give its first frame. Floats are written in their shortest exact
// decimal form (a value that is not finite as its bits, "0x7f800000"), so the state reads back to the
// same bits. Plain C++.

#include <string>

#include "config/json_value.h"
#include "engine/engine_state.h"

namespace voltina {

class RenderInputs;

// The state as a JSON object whose lines are indented by two spaces; `samplePath` is the playing sample's
// file (empty when none plays), written with the sample's checksum.
// `sampleId` is the number the performance knows the sample by (see PanelEvent::sampleId).
std::string serializeStartState(const EngineState& s, const std::string& samplePath, int sampleId = 1);

// Reads the object into `out`: rateParam, stereoOut and every running value; the sample is loaded (names
// relative to `folder`) and checked against its checksum. Empty on success, else what is wrong
// ("oscillator 3: phase must be a number"). The tables are left to prepareAudioTables.
// `sampleId` receives the playing sample's number (0 without one); `inputs`, when given, loads it.
std::string readStartState(const JsonValue& v, const std::string& folder, EngineState& out,
                           int* sampleId = nullptr, RenderInputs* inputs = nullptr);

// What a performance says the rate is (11025, 22050 or 44100), 0 when it has no start state it can read.
int startStateRate(const JsonValue& v);

}  // namespace voltina
