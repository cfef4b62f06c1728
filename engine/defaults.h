#pragma once
// The panel's start-up values, the default patch and the cord helpers every layer plugs with.

#include "engine/engine_state.h"

namespace voltina {

// Hz for note index i = MIDI note - 12, i = 0..95, to the whole hertz.
extern const int noteFreqTable[kNoteCount];

// The panel's start-up values: oscillator frequencies, phases, mixer levels and pans.
void setOscillatorAndMixerDefaults(EngineState& s);
// The rest of the defaults and the five cords of the default patch.
void setDefaultPatch(EngineState& s);
// Both of the above, in the start-up order, for a fresh record.
void setEngineDefaults(EngineState& s);

// Plugs output index `out` into input index `in` (no rule checks: the cord editor and the
// configuration reader enforce the plugging rules).
void plugCord(EngineState& s, int out, int in);
// Removes every cord.
void clearCords(EngineState& s);

}  // namespace voltina
