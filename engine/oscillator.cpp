#include "engine/oscillator.h"

#include "engine/sine_lookup.h"

namespace voltina {

namespace {

// Frames a random oscillator holds a draw of r Hz: low pitches are held longer than high ones.
int randomHold(float r) { return (5550 - static_cast<int>(r)) / 10 + 1; }

}  // namespace

void deriveOscillator(EngineState& s, int osc, int type) {
    switch (type) {
        case kSquare:
        case kSawtooth:
            // the ramp's step per frame: 254 units are crossed oscFreq times per rateParam frames
            s.oscPhase[osc] = static_cast<float>(254.0 * s.oscFreq[osc] / s.rateParam);
            break;
        case kRandom:
            s.oscCounter[osc] = randomHold(s.oscAcc[osc]);
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

// Stored versus temporary: phase, acc, counter and the slowed frequency f are float locals, so each
// intermediate result is rounded to float exactly where the stored fields would be; oscPhase, oscAcc
// and oscCounter are written back once, at the end of the type's branch.
void stepOscillator(EngineState& s, int i) {
    float phase = s.oscPhase[i];
    float acc = s.oscAcc[i];
    float counter = static_cast<float>(s.oscCounter[i]);
    const float f = s.oscSlow[i] == 1 ? static_cast<float>(s.oscFreq[i] * (1.0 / 300)) : s.oscFreq[i];
    s.oscSlow[i] = 0;
    const float rate = static_cast<float>(s.rateParam);

    switch (s.oscType[i]) {
        case kSine:
            if (phase >= rate) phase = static_cast<float>(static_cast<double>(phase) - s.rateParam);
            if (phase < 0) phase = static_cast<float>(static_cast<double>(phase) + s.rateParam);
            s.outValue[i] = sineAt(s, phase);
            s.oscPhase[i] = static_cast<float>(static_cast<double>(phase) + f);
            break;
        case kSquare:
            acc = static_cast<float>(static_cast<double>(acc) + s.oscPhase[i]);
            if (acc > 127) {
                acc = static_cast<float>(static_cast<double>(acc) - 254);
                // unipolar: the output toggles once per crossing of the ramp, so it sounds an octave down
                if (s.oscCounter[i] == 0) {
                    s.oscCounter[i] = 1;
                    s.outValue[i] = 0.0f;
                } else {
                    s.oscCounter[i] = 0;
                    s.outValue[i] = 127.0f;
                }
            }
            s.oscAcc[i] = acc;
            break;
        case kSawtooth:
            s.outValue[i] = static_cast<float>(static_cast<double>(s.outValue[i]) + s.oscPhase[i]);
            if (s.outValue[i] > 127) s.outValue[i] = static_cast<float>(static_cast<double>(s.outValue[i]) - 254);
            break;
        case kRandom: {
            counter = static_cast<float>(static_cast<double>(counter) - 1);
            if (counter <= 0) {
                const int m = static_cast<int>(f);
                const int r = m != 0 ? static_cast<int>(s.random.next() % static_cast<std::uint32_t>(m)) : 0;
                acc = static_cast<float>(r);
                s.oscAcc[i] = acc;
                counter = static_cast<float>(randomHold(static_cast<float>(r)));
            }
            if (phase >= rate) phase = static_cast<float>(static_cast<double>(phase) - s.rateParam);
            if (phase < 0) phase = 0.0f;  // unlike the sine, a negative phase restarts the turn
            s.outValue[i] = sineAt(s, phase);
            s.oscPhase[i] = static_cast<float>(static_cast<double>(phase) + acc);
            s.oscCounter[i] = static_cast<int>(counter);
            break;
        }
        default:
            break;  // an unknown type computes nothing; jack B still mirrors jack A
    }
    s.outValue[kOutOscB + i] = s.outValue[i];
}

}  // namespace voltina
