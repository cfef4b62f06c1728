#pragma once
#include "engine/engine_state.h"

namespace voltina {

void stepMidiVoice(EngineState& s);
void stepAccumulator(EngineState& s, int k);
void stepMultiplier(EngineState& s, int k);
void stepSinusoider(EngineState& s, int k);
void stepWave(EngineState& s);

}  // namespace voltina
