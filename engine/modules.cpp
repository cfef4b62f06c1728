#include "engine/modules.h"

#include "engine/sine_lookup.h"

namespace voltina {

void stepMidiVoice(EngineState& s) {
    if (s.outputUsed[kOutMidiSine] == 1) {
        if (s.midiPhase >= static_cast<float>(s.rateParam))
            s.midiPhase = static_cast<float>(static_cast<double>(s.midiPhase) - s.rateParam);
        s.outValue[kOutMidiSine] = sineAt(s, s.midiPhase);
        s.midiPhase = static_cast<float>(static_cast<double>(s.midiPhase) + s.midiFreq);
    }
    // The square and the sawtooth share one ramp, advanced once per frame whichever is patched.
    if (s.outputUsed[kOutMidiSquare] == 1) {
        s.midiAcc = static_cast<float>(static_cast<double>(s.midiAcc) + s.midiStep);
        if (s.midiAcc > 127) {
            s.midiAcc = static_cast<float>(static_cast<double>(s.midiAcc) - 254);
            s.outValue[kOutMidiSquare] = s.outValue[kOutMidiSquare] == 127.0f ? 0.0f : 127.0f;
        }
    }
    if (s.outputUsed[kOutMidiSaw] == 1) {
        if (s.outputUsed[kOutMidiSquare] != 1) {
            s.midiAcc = static_cast<float>(static_cast<double>(s.midiAcc) + s.midiStep);
            if (s.midiAcc > 127) s.midiAcc = static_cast<float>(static_cast<double>(s.midiAcc) - 254);
        }
        s.outValue[kOutMidiSaw] = s.midiAcc;
    }
}

void stepAccumulator(EngineState& s, int k) {
    const int a = s.cordSource[kInAccumulator + 2 * k];
    const int b = s.cordSource[kInAccumulator + 2 * k + 1];
    // Reading an oscillator, through either of its jacks, slows its next sample to 1/300 of its pitch.
    for (int source : {a, b}) {
        if (source >= kOutOscA && source < kOutOscA + kOscillators) s.oscSlow[source - kOutOscA] = 1;
        if (source >= kOutOscB && source < kOutOscB + kOscillators) s.oscSlow[source - kOutOscB] = 1;
    }
    const int out = kOutAccumulator + k;
    // (a + b) / 12 is added in double; the running value is a whole number, cut toward zero each frame
    int v = static_cast<int>(static_cast<double>(s.outValue[out]) +
                             (static_cast<double>(s.outValue[a]) + s.outValue[b]) * (1.0 / 12));
    while (v >= 127) v -= 256;
    while (v <= -127) v += 256;
    s.outValue[out] = static_cast<float>(v);
}

void stepMultiplier(EngineState& s, int k) {
    const int a = s.cordSource[kInMultiplier + 2 * k];
    const int b = s.cordSource[kInMultiplier + 2 * k + 1];
    int v = static_cast<int>(static_cast<double>(s.outValue[a]) * s.outValue[b]);
    if (v >= 110) v = 110;
    if (v <= -110) v = -110;
    s.outValue[kOutMultiplier + k] = static_cast<float>(v);
}

void stepSinusoider(EngineState& s, int k) {
    const int amp = s.cordSource[kInSinusoider + 2 * k];
    const int ang = s.cordSource[kInSinusoider + 2 * k + 1];
    // the angle input maps -127..128 onto one turn of the table
    int j = static_cast<int>(s.outValue[ang]) + 127;
    if (j < 0) j = 0;
    if (j > 255) j = 255;
    s.outValue[kOutSinusoider + k] =
        static_cast<float>(static_cast<double>(s.outValue[amp]) * s.sinusoiderTable[j]);
}

void stepWave(EngineState& s) {
    const SampleRecord* sample = s.waveSample.get();
    // A sample without data bytes plays silence rather than reading outside its block.
    if (sample == nullptr || sample->dataLength == 0 || sample->data.size() < sample->dataLength) {
        s.outValue[kOutWave] = 0.0f;
        return;
    }
    if (s.wavePos >= sample->dataLength) s.wavePos = 0;
    s.outValue[kOutWave] = static_cast<float>(static_cast<int>(sample->data[s.wavePos]) - 128);
    s.wavePos += 1;
    if (s.wavePos >= sample->dataLength) s.wavePos = 0;
}

}  // namespace voltina
