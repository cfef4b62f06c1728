#include <cstdint>

#include "engine/batch_steps.h"
#include "engine/module_frames.h"

namespace voltina::batch {

namespace {

// The frequency an oscillator advances by in a batch's first frame; reading the flag clears it, as
// every oscillator step does, whether or not its type uses the frequency. In the later frames every
// flag is read as the accumulators of the frame before left it, which steadyFreq already knows.
inline float firstFrequency(EngineState& s, const OscillatorRun& run) {
    const float f = s.oscSlow[run.index] == 1 ? run.slowFreq : run.freq;
    s.oscSlow[run.index] = 0;
    return f;
}

// The oscillator kinds for runInPairs: each loads an oscillator's running values into a state, takes
// samples from it, and stores it back. Loading clears the oscillator's slowing flag, as the first
// frame's step does.
struct SineKind {
    struct State {
        float phase;
        float firstFreq;
        float freq;
    };
    int rate;
    const SineView& sine;

    State load(EngineState& s, const OscillatorRun& run) const {
        return {s.oscPhase[run.index], firstFrequency(s, run), run.steadyFreq};
    }
    template <bool First>
    float sample(State& x) const {
        return frames::sineSample(x.phase, First ? x.firstFreq : x.freq, rate, sine);
    }
    void store(EngineState& s, const OscillatorRun& run, const State& x) const {
        s.oscPhase[run.index] = x.phase;
    }
};

struct SquareKind {
    struct State {
        float acc;
        int toggle;
        float value;
        float step;
    };

    State load(EngineState& s, const OscillatorRun& run) const {
        const int i = run.index;
        s.oscSlow[i] = 0;
        return {s.oscAcc[i], s.oscCounter[i], s.outValue[i], s.oscPhase[i]};
    }
    template <bool First>
    float sample(State& x) const {
        frames::squareSample(x.acc, x.toggle, x.value, x.step);
        return x.value;
    }
    void store(EngineState& s, const OscillatorRun& run, const State& x) const {
        s.oscAcc[run.index] = x.acc;
        s.oscCounter[run.index] = x.toggle;
    }
};

struct SawtoothKind {
    struct State {
        float value;
        float step;
    };

    State load(EngineState& s, const OscillatorRun& run) const {
        s.oscSlow[run.index] = 0;
        return {s.outValue[run.index], s.oscPhase[run.index]};
    }
    template <bool First>
    float sample(State& x) const {
        return x.value = frames::sawtoothSample(x.value, x.step);
    }
    void store(EngineState&, const OscillatorRun&, const State&) const {}
};

// The hold goes from frame to frame as a float: a whole number, which the int field would give back
// unchanged.
struct RandomKind {
    struct State {
        float phase;
        float acc;
        float hold;
        float firstFreq;
        float freq;
    };
    int rate;
    const SineView& sine;
    RandomSource& random;

    State load(EngineState& s, const OscillatorRun& run) const {
        const int i = run.index;
        return {s.oscPhase[i], s.oscAcc[i], static_cast<float>(s.oscCounter[i]), firstFrequency(s, run),
                run.steadyFreq};
    }
    template <bool First>
    float sample(State& x) const {
        return frames::randomSample(x.phase, x.acc, x.hold, First ? x.firstFreq : x.freq, random, rate, sine);
    }
    void store(EngineState& s, const OscillatorRun& run, const State& x) const {
        s.oscPhase[run.index] = x.phase;
        s.oscAcc[run.index] = x.acc;
        s.oscCounter[run.index] = static_cast<int>(x.hold);
    }
};

// jack A's last value, on both jacks
inline void finishOscillator(EngineState& s, int i, float value) {
    s.outValue[kOutOscA + i] = value;
    s.outValue[kOutOscB + i] = value;
}

// Two oscillators over a batch, their running values in locals: each one's running value is a chain
// of dependent steps, and two chains side by side keep the processor busy. Frame by frame, X takes its
// sample first.
template <typename KindX, typename KindY>
void runPair(EngineState& s, const OscillatorRun& runX, const KindX& kindX, const OscillatorRun& runY,
             const KindY& kindY, int count) {
    typename KindX::State x = kindX.load(s, runX);
    typename KindY::State y = kindY.load(s, runY);
    float* outX = runX.column;
    float* outY = runY.column;
    outX[0] = kindX.template sample<true>(x);
    outY[0] = kindY.template sample<true>(y);
    for (int f = 1; f < count; ++f) {
        outX[f] = kindX.template sample<false>(x);
        outY[f] = kindY.template sample<false>(y);
    }
    kindX.store(s, runX, x);
    kindY.store(s, runY, y);
    finishOscillator(s, runX.index, outX[count - 1]);
    finishOscillator(s, runY.index, outY[count - 1]);
}

template <typename Kind>
void runAlone(EngineState& s, const OscillatorRun& run, const Kind& kind, int count) {
    typename Kind::State x = kind.load(s, run);
    float* out = run.column;
    out[0] = kind.template sample<true>(x);
    for (int f = 1; f < count; ++f) out[f] = kind.template sample<false>(x);
    kind.store(s, run, x);
    finishOscillator(s, run.index, out[count - 1]);
}

// The oscillators of one kind over a batch, two at a time, in their order; the one left over when
// they are odd in number is returned, for a pair with another kind's, or null.
template <typename Kind>
const OscillatorRun* runPairs(EngineState& s, const OscillatorGroup& group, int count, const Kind& kind) {
    int o = 0;
    for (; o + 1 < group.count; o += 2) runPair(s, group.runs[o], kind, group.runs[o + 1], kind, count);
    return o < group.count ? &group.runs[o] : nullptr;
}

template <typename Kind>
void runInPairs(EngineState& s, const OscillatorGroup& group, int count, const Kind& kind) {
    if (const OscillatorRun* left = runPairs(s, group, count, kind)) runAlone(s, *left, kind, count);
}

#ifdef VOLTINA_WIDE_VECTORS
// Four sines side by side, one to a lane. Each lane takes the steps of frames::sineSample in the same
// order; a float sum or difference worked out in double and rounded to float is the float sum or
// difference itself (a double has more than twice a float's digits, so the two roundings never
// differ from one), so the lanes add in float. The phase is brought back into the table only when a
// lane needs it, which keeps the comparisons off the chain of additions from frame to frame. The
// entries are looked up one by one, straight into their columns: quicker here than a gather.
VOLTINA_WIDEST_VECTORS void runSineQuad(EngineState& s, const OscillatorRun* runs, int count,
                                        const SineView& sine) {
    alignas(16) float phase[4];
    alignas(16) float first[4];
    alignas(16) float steady[4];
    for (int k = 0; k < 4; ++k) {
        phase[k] = s.oscPhase[runs[k].index];
        first[k] = firstFrequency(s, runs[k]);
        steady[k] = runs[k].steadyFreq;
    }
    const __m128 rate = _mm_set1_ps(static_cast<float>(s.rateParam));
    const __m128 zero = _mm_setzero_ps();
    const __m128i lowest = _mm_setzero_si128();
    const __m128i last = _mm_set1_epi32(sine.lastIndex());
    const float* entries = sine.entries();
    float* out0 = runs[0].column;
    float* out1 = runs[1].column;
    float* out2 = runs[2].column;
    float* out3 = runs[3].column;
    __m128 p = _mm_load_ps(phase);
    __m128 step = _mm_load_ps(first);
    const __m128 freq = _mm_load_ps(steady);
    for (int f = 0; f < count; ++f) {
        const __m128 high = _mm_cmpge_ps(p, rate);
        if (_mm_movemask_ps(_mm_or_ps(high, _mm_cmplt_ps(p, zero))) != 0) {
            p = _mm_blendv_ps(p, _mm_sub_ps(p, rate), high);
            p = _mm_blendv_ps(p, _mm_add_ps(p, rate), _mm_cmplt_ps(p, zero));
        }
        const __m128i index = _mm_min_epi32(_mm_max_epi32(_mm_cvttps_epi32(p), lowest), last);
        alignas(16) int at[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(at), index);
        out0[f] = entries[at[0]];
        out1[f] = entries[at[1]];
        out2[f] = entries[at[2]];
        out3[f] = entries[at[3]];
        p = _mm_add_ps(p, step);
        step = freq;
    }
    _mm_store_ps(phase, p);
    for (int k = 0; k < 4; ++k) {
        s.oscPhase[runs[k].index] = phase[k];
        finishOscillator(s, runs[k].index, runs[k].column[count - 1]);
    }
}
#endif

// The sines: four at a time on processors with the vectors for it, the rest in pairs.
void runSines(EngineState& s, const OscillatorGroup& sines, int count, const SineView& sine) {
    const SineKind kind{s.rateParam, sine};
#ifdef VOLTINA_WIDE_VECTORS
    if (widestVectors() && sines.count >= 4) {
        int o = 0;
        for (; o + 4 <= sines.count; o += 4) runSineQuad(s, sines.runs + o, count, sine);
        OscillatorGroup rest;
        for (; o < sines.count; ++o) rest.runs[rest.count++] = sines.runs[o];
        runInPairs(s, rest, count, kind);
        return;
    }
#endif
    runInPairs(s, sines, count, kind);
}

}  // namespace

// The oscillators, the MIDI voice and the Wave player of a batch. None of them hears another jack, so
// each runs over all the batch's frames on its own. Only the random oscillators share something, one
// generator: they must draw in their order frame by frame, which a pair does, and three or more go
// frame by frame together. The Wave player's place after the modules only decides which of its frames
// the modules hear.
void runSources(EngineState& s, const Plan& plan, Columns& columns, int count) {
    const SineView sine(s);
    const int rate = s.rateParam;
    runSines(s, plan.sines, count, sine);
    const SquareKind squareKind{};
    const SawtoothKind sawtoothKind{};
    const RandomKind randomKind{rate, sine, s.random};
    const OscillatorRun* square = runPairs(s, plan.squares, count, squareKind);
    const OscillatorRun* sawtooth = runPairs(s, plan.sawtooths, count, sawtoothKind);
    const OscillatorRun* random = nullptr;
    if (plan.randoms.count <= 2) {
        random = runPairs(s, plan.randoms, count, randomKind);
    } else {
        for (int f = 0; f < count; ++f) {
            for (int o = 0; o < plan.randoms.count; ++o) {
                const OscillatorRun& run = plan.randoms.runs[o];
                frames::randomStep(s, run.index, f == 0 ? firstFrequency(s, run) : run.steadyFreq, sine);
                run.column[f] = s.outValue[run.index];
            }
        }
        for (int o = 0; o < plan.randoms.count; ++o) {
            const int i = plan.randoms.runs[o].index;
            finishOscillator(s, i, s.outValue[i]);
        }
    }
    // The ones left over by kind, in pairs too where they can be.
    if (square && sawtooth) {
        runPair(s, *square, squareKind, *sawtooth, sawtoothKind, count);
        square = sawtooth = nullptr;
    }
    if (square && random) {
        runPair(s, *square, squareKind, *random, randomKind, count);
        square = random = nullptr;
    }
    if (sawtooth && random) {
        runPair(s, *sawtooth, sawtoothKind, *random, randomKind, count);
        sawtooth = random = nullptr;
    }
    if (square) runAlone(s, *square, squareKind, count);
    if (sawtooth) runAlone(s, *sawtooth, sawtoothKind, count);
    if (random) runAlone(s, *random, randomKind, count);
    for (int o = 0; o < plan.others.count; ++o) {
        const OscillatorRun& run = plan.others.runs[o];
        s.oscSlow[run.index] = 0;
        for (int f = 0; f < count; ++f) run.column[f] = s.outValue[run.index];
        finishOscillator(s, run.index, s.outValue[run.index]);
    }
    // In every frame the accumulators slow what they read after the oscillators have taken their
    // flags, so the batch leaves the flags as its first frame does.
    for (int n = 0; n < plan.slowedCount; ++n) s.oscSlow[plan.slowed[n]] = 1;

    if (plan.midi) {
        frames::MidiVoice voice = frames::loadMidiVoice(s);
        const frames::MidiOutputs used = frames::midiOutputs(s);
        float* sineOut = columns.jack[kOutMidiSine] + 1;
        float* squareOut = columns.jack[kOutMidiSquare] + 1;
        float* sawOut = columns.jack[kOutMidiSaw] + 1;
        for (int f = 0; f < count; ++f) {
            frames::midiVoiceSample(voice, used, s.midiFreq, s.midiStep, rate, sine);
            sineOut[f] = voice.sine;
            squareOut[f] = voice.square;
            sawOut[f] = voice.saw;
        }
        frames::storeMidiVoice(s, voice);
    }
    if (plan.wave) {
        float* out = columns.jack[kOutWave];
        out[0] = s.outValue[kOutWave];  // the modules hear it one frame late
        const SampleRecord* sample = s.waveSample.get();
        if (frames::wavePlayable(sample)) {
            // the sample's bytes as they come, in runs up to its end
            const std::uint8_t* data = sample->data.data();
            const std::uint32_t length = sample->dataLength;
            std::uint32_t pos = s.wavePos < length ? s.wavePos : 0;
            for (int f = 1; f <= count;) {
                const auto wanted = static_cast<std::uint32_t>(count + 1 - f);
                const auto run = static_cast<int>(length - pos < wanted ? length - pos : wanted);
                const std::uint8_t* bytes = data + pos;
                for (int k = 0; k < run; ++k) out[f + k] = frames::waveValue(bytes[k]);
                f += run;
                pos += static_cast<std::uint32_t>(run);
                if (pos >= length) pos = 0;
            }
            s.wavePos = pos;
        } else {
            for (int f = 1; f <= count; ++f) out[f] = 0.0f;
        }
        s.outValue[kOutWave] = out[count];
    }
}

}  // namespace voltina::batch
