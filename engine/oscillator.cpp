#include "engine/oscillator.h"

#include "engine/module_frames.h"

namespace voltina {

void deriveOscillator(EngineState& s, int osc, int type) {
    switch (type) {
        case kSquare:
        case kSawtooth:
            // the ramp's step per frame: 254 units are crossed oscFreq times per rateParam frames
            s.oscPhase[osc] = static_cast<float>(254.0 * s.oscFreq[osc] / s.rateParam);
            break;
        case kRandom:
            s.oscCounter[osc] = frames::randomHold(s.oscAcc[osc]);
            break;
        default:
            break;
    }
}

void syncReset(EngineState& s) {
    for (int i = 0; i < kOscillators; ++i) {
        s.outValue[kOutOscA + i] = 0.0f;
        s.outValue[kOutOscB + i] = 0.0f;
        s.oscAcc[i] = 0.0f;
        s.oscPhase[i] = 0.0f;
        deriveOscillator(s, i, s.oscType[i]);
    }
    s.outValue[kOutMidiSine] = 0.0f;
    s.outValue[kOutMidiSquare] = 0.0f;
    s.outValue[kOutMidiSaw] = 0.0f;
    s.wavePos = 0;
}

}  // namespace voltina
