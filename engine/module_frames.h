#pragma once
// One frame of each module, inline so the render loop can run them without a call per module.
//
// The floating-point steps must be compiled with the engine's options (no fused multiply-add): outside
// the engine's sources, use only the integer helpers (tests check wrapAccumulator on its own).

#include "engine/engine_state.h"
#include "engine/sine_lookup.h"

namespace voltina::frames {

// Frames a random oscillator holds a draw of r Hz: low pitches are held longer than high ones.
inline int randomHold(float r) { return (5550 - static_cast<int>(r)) / 10 + 1; }

// The frequency a sine or random oscillator advances by this frame: 1/300 of its setting while an
// accumulator reads it.
inline float slowedFrequency(float freq) { return static_cast<float>(freq * (1.0 / 300)); }

// Stored versus temporary: phase, acc, counter and the slowed frequency f are float locals, so each
// intermediate result is rounded to float exactly where the stored fields would be; oscPhase, oscAcc
// and oscCounter are written back once, at the end of the type's step. A step writes jack A only.
inline void sineStep(EngineState& s, int i, float f, const SineView& sine) {
    float phase = s.oscPhase[i];
    if (phase >= static_cast<float>(s.rateParam)) phase = static_cast<float>(static_cast<double>(phase) - s.rateParam);
    if (phase < 0) phase = static_cast<float>(static_cast<double>(phase) + s.rateParam);
    s.outValue[i] = sine.at(phase);
    s.oscPhase[i] = static_cast<float>(static_cast<double>(phase) + f);
}

inline void squareStep(EngineState& s, int i) {
    float acc = static_cast<float>(static_cast<double>(s.oscAcc[i]) + s.oscPhase[i]);
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
}

inline void sawtoothStep(EngineState& s, int i) {
    float value = static_cast<float>(static_cast<double>(s.outValue[i]) + s.oscPhase[i]);
    if (value > 127) value = static_cast<float>(static_cast<double>(value) - 254);
    s.outValue[i] = value;
}

inline void randomStep(EngineState& s, int i, float f, const SineView& sine) {
    float phase = s.oscPhase[i];
    float acc = s.oscAcc[i];
    float counter = static_cast<float>(s.oscCounter[i]);
    counter = static_cast<float>(static_cast<double>(counter) - 1);
    if (counter <= 0) {
        const int m = static_cast<int>(f);
        const int r = m != 0 ? static_cast<int>(s.random.next() % static_cast<std::uint32_t>(m)) : 0;
        acc = static_cast<float>(r);
        s.oscAcc[i] = acc;
        counter = static_cast<float>(randomHold(static_cast<float>(r)));
    }
    if (phase >= static_cast<float>(s.rateParam)) phase = static_cast<float>(static_cast<double>(phase) - s.rateParam);
    if (phase < 0) phase = 0.0f;  // unlike the sine, a negative phase restarts the turn
    s.outValue[i] = sine.at(phase);
    s.oscPhase[i] = static_cast<float>(static_cast<double>(phase) + acc);
    s.oscCounter[i] = static_cast<int>(counter);
}

inline void oscillator(EngineState& s, int i) {
    const float f = s.oscSlow[i] == 1 ? slowedFrequency(s.oscFreq[i]) : s.oscFreq[i];
    s.oscSlow[i] = 0;
    switch (s.oscType[i]) {
        case kSine:
            sineStep(s, i, f, SineView(s));
            break;
        case kSquare:
            squareStep(s, i);  // f plays no part: a square is never slowed
            break;
        case kSawtooth:
            sawtoothStep(s, i);
            break;
        case kRandom:
            randomStep(s, i, f, SineView(s));
            break;
        default:
            break;  // an unknown type computes nothing; jack B still mirrors jack A
    }
    s.outValue[kOutOscB + i] = s.outValue[i];
}

inline void midiVoice(EngineState& s) {
    if (s.outputUsed[kOutMidiSine] == 1) {
        if (s.midiPhase >= static_cast<float>(s.rateParam))
            s.midiPhase = static_cast<float>(static_cast<double>(s.midiPhase) - s.rateParam);
        s.outValue[kOutMidiSine] = SineView(s).at(s.midiPhase);
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

// Reading an oscillator, through either of its jacks, slows its next sample to 1/300 of its pitch:
// the oscillator an accumulator's source slows, or -1.
inline int slowedOscillator(int source) {
    if (source >= kOutOscA && source < kOutOscA + kOscillators) return source - kOutOscA;
    if (source >= kOutOscB && source < kOutOscB + kOscillators) return source - kOutOscB;
    return -1;
}

// Brings a whole number into -126..129 by whole turns of 256, as subtracting 256 while it is 127 or
// more and then adding 256 while it is -127 or less would; written without loops or branches.
inline int wrapAccumulator(int v) { return static_cast<int>((static_cast<unsigned>(v) + 126u) & 255u) - 126; }

// (a + b) / 12 is added in double; the running value is a whole number, cut toward zero each frame
inline float accumulated(float current, float a, float b) {
    const int v = static_cast<int>(static_cast<double>(current) + (static_cast<double>(a) + b) * (1.0 / 12));
    return static_cast<float>(wrapAccumulator(v));
}

inline float product(float a, float b) {
    int v = static_cast<int>(static_cast<double>(a) * b);
    v = v >= 110 ? 110 : v;
    v = v <= -110 ? -110 : v;
    return static_cast<float>(v);
}

// the angle input maps -127..128 onto one turn of the table
inline float sinusoid(float amplitude, float angle, const float (&table)[256]) {
    int j = static_cast<int>(angle) + 127;
    j = j < 0 ? 0 : j;
    j = j > 255 ? 255 : j;
    return static_cast<float>(static_cast<double>(amplitude) * table[j]);
}

inline void accumulator(EngineState& s, int k) {
    const int a = s.cordSource[kInAccumulator + 2 * k];
    const int b = s.cordSource[kInAccumulator + 2 * k + 1];
    for (int source : {a, b}) {
        const int osc = slowedOscillator(source);
        if (osc >= 0) s.oscSlow[osc] = 1;
    }
    const int out = kOutAccumulator + k;
    s.outValue[out] = accumulated(s.outValue[out], s.outValue[a], s.outValue[b]);
}

inline void multiplier(EngineState& s, int k) {
    const int a = s.cordSource[kInMultiplier + 2 * k];
    const int b = s.cordSource[kInMultiplier + 2 * k + 1];
    s.outValue[kOutMultiplier + k] = product(s.outValue[a], s.outValue[b]);
}

inline void sinusoider(EngineState& s, int k) {
    const int amp = s.cordSource[kInSinusoider + 2 * k];
    const int ang = s.cordSource[kInSinusoider + 2 * k + 1];
    s.outValue[kOutSinusoider + k] = sinusoid(s.outValue[amp], s.outValue[ang], s.sinusoiderTable);
}

inline void wave(EngineState& s) {
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

}  // namespace voltina::frames
