#pragma once
// The knobs a musician automates from the host, as the plugin's parameters: the eight oscillators' wave
// types and frequencies, the mixer's eight levels and pans. A change is the panel's own gesture (the
// type button, the typed frequency, the level knob, the pan control) made into an edit, so it does
// exactly what the same line of an events file does at the same frame.
// Plain C++; any thread (the functions only read their arguments).

#include <string>

#include "engine/engine_state.h"
#include "patch/edit.h"

namespace voltina {

enum class ParameterKind { WaveType, Frequency, Level, Pan };

constexpr int kParameterCount = 4 * 8;
static_assert(kOscillators == 8 && kMixerChannels == 8, "eight parameters of each kind");

struct ParameterInfo {
    ParameterKind kind;
    int index;  // oscillator or mixer channel, from 0
};

constexpr ParameterInfo parameterInfo(int parameter) {
    return {static_cast<ParameterKind>(parameter / 8), parameter % 8};
}

// The property's name after the plugin's URI and "#": "osc1-type", "osc1-frequency", "channel1-level",
// "channel1-pan".
std::string parameterName(int parameter);

// The gesture a host's value makes. Values outside the control's range are held to it first; a
// frequency that is not a positive number changes nothing, as a typed one does not.
Edit parameterEdit(int parameter, double value);

// The value the engine holds now, as the host shows it.
float parameterValue(const EngineState& s, int parameter);

}  // namespace voltina
