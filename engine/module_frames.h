#pragma once
// One frame of each module, inline so the render loop can run them without a call per module.
//
// The floating-point steps must be compiled with the engine's options (no fused multiply-add): outside
// the engine's sources, use only the integer helpers (tests check wrapAccumulator on its own).

#include "engine/engine_state.h"
#include "engine/sine_lookup.h"

namespace voltina::frames {

// Frames a random oscillator holds a draw of r Hz: low pitches are held longer than high ones.
inline int randomHold(float r) {
    return (5550 - static_cast<int>(r)) / 10 + 1;
}

// The frequency a sine or random oscillator advances by this frame: 1/300 of its setting while an
// accumulator reads it.
inline float slowedFrequency(float freq) {
    return static_cast<float>(freq * (1.0 / 300));
}

// Stored versus temporary: phase, acc, counter and the slowed frequency f are floats, so each
// intermediate result is rounded to float exactly where the stored fields would be. The sample
// functions work on an oscillator's running values wherever the caller keeps them (the record, or
// locals while a batch runs one oscillator over many frames); the steps apply them to the record and
// write jack A only.
//
// Their sums and differences are taken in float: a float sum worked out in double and rounded to float
// is the float sum itself (a double has more than twice a float's digits, so the two roundings never
// differ from one), and skipping the widening keeps two conversions off each oscillator's chain of
// dependent steps. The whole numbers they meet (the rate, 254, 1) are exact as floats.

// A sine's sample at `phase` (brought back into the table first); the phase then advances by f.
inline float sineSample(float& phase, float f, int rateParam, const SineView& sine) {
    if (phase >= static_cast<float>(rateParam)) phase = phase - static_cast<float>(rateParam);
    if (phase < 0) phase = phase + static_cast<float>(rateParam);
    const float sample = sine.at(phase);
    phase = phase + f;
    return sample;
}

// The ramp advances by the step; each wrap toggles the output, unipolar: once per crossing of the
// ramp, so it sounds an octave down. Between wraps `out` keeps its value.
inline void squareSample(float& acc, int& toggle, float& out, float step) {
    acc = acc + step;
    if (acc > 127) {
        acc = acc - 254.0f;
        if (toggle == 0) {
            toggle = 1;
            out = 0.0f;
        } else {
            toggle = 0;
            out = 127.0f;
        }
    }
}

// The output itself is the ramp.
inline float sawtoothSample(float value, float step) {
    value = value + step;
    if (value > 127) value = value - 254.0f;
    return value;
}

// A sine whose frequency acc is drawn anew, below f, whenever its hold runs out. The hold is the
// counter as a float: a whole number, so the int field it is stored in gives it back unchanged, and a
// caller running many frames may keep it as a float in between.
inline float randomSample(float& phase, float& acc, float& hold, float f, RandomSource& random, int rateParam,
                          const SineView& sine) {
    hold = hold - 1.0f;
    if (hold <= 0) {
        const int m = static_cast<int>(f);
        const int r = m != 0 ? static_cast<int>(random.next() % static_cast<std::uint32_t>(m)) : 0;
        acc = static_cast<float>(r);
        hold = static_cast<float>(randomHold(static_cast<float>(r)));
    }
    if (phase >= static_cast<float>(rateParam)) phase = phase - static_cast<float>(rateParam);
    if (phase < 0) phase = 0.0f;  // unlike the sine, a negative phase restarts the turn
    const float sample = sine.at(phase);
    phase = phase + acc;
    return sample;
}

inline void sineStep(EngineState& s, int i, float f, const SineView& sine) {
    s.outValue[i] = sineSample(s.oscPhase[i], f, s.rateParam, sine);
}

inline void squareStep(EngineState& s, int i) {
    squareSample(s.oscAcc[i], s.oscCounter[i], s.outValue[i], s.oscPhase[i]);
}

inline void sawtoothStep(EngineState& s, int i) {
    s.outValue[i] = sawtoothSample(s.outValue[i], s.oscPhase[i]);
}

inline void randomStep(EngineState& s, int i, float f, const SineView& sine) {
    float hold = static_cast<float>(s.oscCounter[i]);
    s.outValue[i] = randomSample(s.oscPhase[i], s.oscAcc[i], hold, f, s.random, s.rateParam, sine);
    s.oscCounter[i] = static_cast<int>(hold);
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

// The MIDI voice's running values and outputs, and which outputs are patched.
struct MidiVoice {
    float phase;
    float acc;
    float sine;
    float square;
    float saw;
};

struct MidiOutputs {
    bool sine;
    bool square;
    bool saw;
};

inline MidiOutputs midiOutputs(const EngineState& s) {
    return {outputPatched(s, kOutMidiSine), outputPatched(s, kOutMidiSquare), outputPatched(s, kOutMidiSaw)};
}

inline void midiVoiceSample(MidiVoice& v, MidiOutputs used, float freq, float step, int rateParam,
                            const SineView& sine) {
    if (used.sine) {
        if (v.phase >= static_cast<float>(rateParam)) v.phase = v.phase - static_cast<float>(rateParam);
        v.sine = sine.at(v.phase);
        v.phase = v.phase + freq;
    }
    // The square and the sawtooth share one ramp, advanced once per frame whichever is patched.
    if (used.square) {
        v.acc = v.acc + step;
        if (v.acc > 127) {
            v.acc = v.acc - 254.0f;
            v.square = v.square == 127.0f ? 0.0f : 127.0f;
        }
    }
    if (used.saw) {
        if (!used.square) {
            v.acc = v.acc + step;
            if (v.acc > 127) v.acc = v.acc - 254.0f;
        }
        v.saw = v.acc;
    }
}

inline MidiVoice loadMidiVoice(const EngineState& s) {
    return {s.midiPhase, s.midiAcc, s.outValue[kOutMidiSine], s.outValue[kOutMidiSquare],
            s.outValue[kOutMidiSaw]};
}

inline void storeMidiVoice(EngineState& s, const MidiVoice& v) {
    s.midiPhase = v.phase;
    s.midiAcc = v.acc;
    s.outValue[kOutMidiSine] = v.sine;
    s.outValue[kOutMidiSquare] = v.square;
    s.outValue[kOutMidiSaw] = v.saw;
}

inline void midiVoice(EngineState& s) {
    MidiVoice v = loadMidiVoice(s);
    midiVoiceSample(v, midiOutputs(s), s.midiFreq, s.midiStep, s.rateParam, SineView(s));
    storeMidiVoice(s, v);
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
inline int wrapAccumulator(int v) {
    return static_cast<int>((static_cast<unsigned>(v) + 126u) & 255u) - 126;
}

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

// The angle input maps -127..128 onto one turn of the table. The product is taken in float: the
// double product of two floats is exact, so rounding it to float is rounding the true product once,
// which is what the float product does.
inline float sinusoid(float amplitude, float angle, const float (&table)[256]) {
    int j = static_cast<int>(angle) + 127;
    j = j < 0 ? 0 : j;
    j = j > 255 ? 255 : j;
    return amplitude * table[j];
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

// A sample without data bytes plays silence rather than reading outside its block.
inline bool wavePlayable(const SampleRecord* sample) {
    return sample != nullptr && sample->dataLength != 0 && sample->data.size() >= sample->dataLength;
}

// An unsigned sample byte as a signal.
inline float waveValue(std::uint8_t byte) {
    return static_cast<float>(static_cast<int>(byte) - 128);
}

// The byte at pos, and pos moves on, looping at the sample's length.
inline float waveSample(const std::uint8_t* data, std::uint32_t length, std::uint32_t& pos) {
    if (pos >= length) pos = 0;
    const float value = waveValue(data[pos]);
    pos += 1;
    if (pos >= length) pos = 0;
    return value;
}

inline void wave(EngineState& s) {
    const SampleRecord* sample = s.waveSample.get();
    s.outValue[kOutWave] =
        wavePlayable(sample) ? waveSample(sample->data.data(), sample->dataLength, s.wavePos) : 0.0f;
}

}  // namespace voltina::frames
