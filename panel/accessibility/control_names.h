#pragma once
// What each control of the panel is called, in words a person reads (tooltips) or hears (the screen
// reader): "Oscillator 3 frequency", "Oscillator 4, pulse", "Mixer channel 2 pan". Jacks keep the names
// jackName gives them. No Qt, so the words can be checked without a display.

#include <string>

#include "engine/engine_state.h"

namespace voltina {

// The control's name; empty for ids the panel does not name this way (jacks, the value tip).
std::string controlName(int id);

// A knob's value as the panel shows it: "256.00 Hz", "80", "+2" (pans run from -10 to +10).
std::string knobValueText(int knobId, const EngineState& state);

// The wave type's word as a person says it (sine, pulse, ramp, random).
const char* waveTypeWord(int type);

// What is plugged into a jack: "plugged from Oscillator 4, output 1 (404)", "plugged into Mixer channel
// 1, input (301)", or "free".
std::string cordDescription(int jackId, const EngineState& state);

}  // namespace voltina
