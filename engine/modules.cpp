#include "engine/modules.h"

#include "engine/module_frames.h"

namespace voltina {

void stepOscillator(EngineState& s, int osc) {
    frames::oscillator(s, osc);
}
void stepMidiVoice(EngineState& s) {
    frames::midiVoice(s);
}
void stepAccumulator(EngineState& s, int k) {
    frames::accumulator(s, k);
}
void stepMultiplier(EngineState& s, int k) {
    frames::multiplier(s, k);
}
void stepSinusoider(EngineState& s, int k) {
    frames::sinusoider(s, k);
}
void stepWave(EngineState& s) {
    frames::wave(s);
}

}  // namespace voltina
