#pragma once
// The knobs a musician automates from the host, as the plugin's parameters: the eight oscillators' wave
// types and frequencies, the mixer's eight levels and pans. A change is the panel's own gesture (the
// type button, the typed frequency, the level knob, the pan control) made into an edit, so it does
// exactly what the same line of an events file does at the same frame.
// Plain C++; any thread (the functions only read their arguments).

#include <string>

#include "engine/engine_state.h"
#include "patch/controls.h"
#include "patch/edit.h"

namespace voltina {

// The controls of the table a host sees (those with a plugin symbol), in the table's order.
enum class ParameterKind { WaveType, Frequency, Level, Pan };

constexpr int pluginControlCount() {
    int n = 0;
    for (const ControlRow& row : kControls) n += row.pluginSymbol != nullptr ? 1 : 0;
    return n;
}

constexpr int kParameterCount = pluginControlCount() * 8;
static_assert(kOscillators == 8 && kMixerChannels == 8, "eight parameters of each kind");

struct ParameterInfo {
    ParameterKind kind;
    int index;  // oscillator or mixer channel, from 0
};

constexpr ParameterInfo parameterInfo(int parameter) {
    return {static_cast<ParameterKind>(parameter / 8), parameter % 8};
}

// The control of the table parameter `parameter` sets.
constexpr const ControlRow& parameterControl(int parameter) {
    int kind = parameter / 8;
    for (const ControlRow& row : kControls) {
        if (row.pluginSymbol != nullptr && kind-- == 0) return row;
    }
    return kControls[0];
}
static_assert(parameterControl(0).control == Control::WaveType &&
                  parameterControl(8).control == Control::TypedFrequency &&
                  parameterControl(16).control == Control::Level &&
                  parameterControl(24).control == Control::Pan,
              "ParameterKind names the table's plugin controls in order");

// The property's name after the plugin's URI and "#": "osc1-type", "osc1-frequency", "channel1-level",
// "channel1-pan".
std::string parameterName(int parameter);

// The gesture a host's value makes. Values outside the control's range are held to it first; a
// frequency that is not a positive number changes nothing, as a typed one does not.
Edit parameterEdit(int parameter, double value);

// The value the engine holds now, as the host shows it.
float parameterValue(const EngineState& s, int parameter);

// The Turtle of the parameters (one property each, with its range, default and unit) and the list of
// them the plugin declares writable, written from the table.
std::string turtleParameters();
std::string turtleParameterList();

}  // namespace voltina
