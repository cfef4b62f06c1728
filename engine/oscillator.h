#pragma once
// The oscillators' running values outside the render loop: derived on a type or frequency change, and
// restarted together.

#include "engine/engine_state.h"

namespace voltina {

// Brings the oscillator's cached running values in line with `type` (called before oscType changes
// when a type button is pressed, and after every frequency change).
void deriveOscillator(EngineState& s, int osc, int type);
// Restarts every oscillator, the MIDI outputs and the sample position.
void syncReset(EngineState& s);

}  // namespace voltina
