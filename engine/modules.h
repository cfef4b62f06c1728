#pragma once
// One frame of each module, as the frame-at-a-time render path (renderFrame) steps it. Compiled with the
// engine's options, so tests can step a single module and see exactly what the render loop computes.

#include "engine/engine_state.h"

namespace voltina {

// Oscillator `osc` (its slowing flag read and cleared), then jack B copied from jack A.
void stepOscillator(EngineState& s, int osc);
void stepMidiVoice(EngineState& s);
// Accumulator k, which also slows the oscillators it reads for their next sample.
void stepAccumulator(EngineState& s, int k);
void stepMultiplier(EngineState& s, int k);
void stepSinusoider(EngineState& s, int k);
void stepWave(EngineState& s);

}  // namespace voltina
