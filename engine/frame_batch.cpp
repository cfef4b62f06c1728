#include "engine/frame_batch.h"

#include <cstdint>

#include "engine/batch_plan.h"
#include "engine/mixer_terms.h"
#include "engine/module_frames.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VOLTINA_WIDE_VECTORS 1
#endif

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef VOLTINA_WIDE_VECTORS
#include <immintrin.h>
#endif

namespace voltina {

namespace {

using batch::ChannelKind;
using batch::Columns;
using batch::kBatchFrames;
using batch::kModules;
using batch::ModuleKind;
using batch::ModuleRun;
using batch::OscillatorGroup;
using batch::OscillatorRun;
using batch::Plan;

int vectorBitsAllowed = 512;

#ifdef VOLTINA_WIDE_VECTORS
// For processors with 512-bit vectors: eight doubles to an operation.
#ifdef __clang__
#define VOLTINA_WIDEST_VECTORS \
    __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw"), min_vector_width(512)))
#else
#define VOLTINA_WIDEST_VECTORS \
    __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,prefer-vector-width=512")))
#endif

bool widestVectors() {
    static const bool widest = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
    return widest && vectorBitsAllowed >= 512;
}
#endif

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

// A module outside the feedback loop, over all the batch's frames: its frames do not depend on one
// another.
__attribute__((always_inline)) inline void runColumnBody(const ModuleRun& run, int count,
                                                         const float (&sinusoiderTable)[256]) {
    const float* a = run.a;
    const float* b = run.b;
    float* out = run.column + 1;
    switch (run.kind) {
        case ModuleKind::Accumulator:  // always in the loop; here for completeness
            for (int f = 0; f < count; ++f) out[f] = frames::accumulated(out[f - 1], a[f], b[f]);
            break;
        case ModuleKind::Multiplier:
            for (int f = 0; f < count; ++f) out[f] = frames::product(a[f], b[f]);
            break;
        case ModuleKind::Sinusoider:
            for (int f = 0; f < count; ++f) out[f] = frames::sinusoid(a[f], b[f], sinusoiderTable);
            break;
    }
}

void runColumnNarrow(const ModuleRun& run, int count, const float (&sinusoiderTable)[256]) {
    runColumnBody(run, count, sinusoiderTable);
}

#ifdef VOLTINA_WIDE_VECTORS
// The compiler does not vectorize a sinusoider's loop by itself (its table lookups): written out,
// eight frames at a time, each lane rounding as frames::sinusoid does (and cutting an angle out of
// range to the same whole number). The entries are looked up one by one: quicker here than a gather.
VOLTINA_WIDEST_VECTORS void runColumnWidest(const ModuleRun& run, int count,
                                            const float (&sinusoiderTable)[256]) {
    if (run.kind != ModuleKind::Sinusoider) {
        runColumnBody(run, count, sinusoiderTable);
        return;
    }
    const float* a = run.a;
    const float* b = run.b;
    float* out = run.column + 1;
    const __m256i offset = _mm256_set1_epi32(127);
    const __m256i lowest = _mm256_setzero_si256();
    const __m256i highest = _mm256_set1_epi32(255);
    int f = 0;
    for (; f + 8 <= count; f += 8) {
        __m256i j = _mm256_add_epi32(_mm256_cvttps_epi32(_mm256_loadu_ps(b + f)), offset);
        j = _mm256_min_epi32(_mm256_max_epi32(j, lowest), highest);
        alignas(32) int at[8];
        alignas(32) float looked[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), j);
        for (int k = 0; k < 8; ++k) looked[k] = sinusoiderTable[at[k]];
        const __m256 entry = _mm256_load_ps(looked);
        // (the mask-all forms: the plain ones start from a register GCC 12 warns is uninitialized)
        const __m512d product = _mm512_mul_pd(_mm512_maskz_cvtps_pd(0xff, _mm256_loadu_ps(a + f)),
                                              _mm512_maskz_cvtps_pd(0xff, entry));
        _mm256_storeu_ps(out + f, _mm512_maskz_cvtpd_ps(0xff, product));
    }
    for (; f < count; ++f) out[f] = frames::sinusoid(a[f], b[f], sinusoiderTable);
}
#endif

void runColumn(const ModuleRun& run, int count, const float (&sinusoiderTable)[256]) {
#ifdef VOLTINA_WIDE_VECTORS
    if (widestVectors()) {
        runColumnWidest(run, count, sinusoiderTable);
        return;
    }
#endif
    runColumnNarrow(run, count, sinusoiderTable);
}

// The feedback loop's steps. Their values go from step to step as doubles: every jack value is a
// float, which a double holds exactly, so the widening each step starts with is done once, where a
// value leaves the loop, instead of on the chain of dependent steps from frame to frame. Each step
// gives exactly the float that its frame step gives, as a double.
namespace loop {

#ifdef __SSE2__
// The whole number a cast to int gives (0x80000000 when x is out of range, as the cast's instruction
// does), left in a vector register: moving it to an integer register and back costs more than the
// conversions.
inline __m128i truncated(double x) {
    return _mm_cvttpd_epi32(_mm_set1_pd(x));
}
inline double widened(__m128i v) {
    return _mm_cvtsd_f64(_mm_cvtepi32_pd(v));
}
#endif

inline double accumulated(double current, double a, double b) {
    const double x = current + (a + b) * (1.0 / 12);
#ifdef __SSE2__
    // frames::wrapAccumulator, lane by lane
    const __m128i turned =
        _mm_and_si128(_mm_add_epi32(truncated(x), _mm_set1_epi32(126)), _mm_set1_epi32(255));
    return widened(_mm_sub_epi32(turned, _mm_set1_epi32(126)));
#else
    return frames::wrapAccumulator(static_cast<int>(x));
#endif
}

inline double product(double a, double b) {
#ifdef __SSE2__
    // Clamped as a double, which gives the same (the whole number is exact, and never NaN), with
    // minimum and maximum instructions: the compiler makes the comparisons branches, which values
    // going in and out of the clamp mispredict.
    const __m128d v = _mm_cvtepi32_pd(truncated(a * b));
    return _mm_cvtsd_f64(_mm_max_sd(_mm_min_sd(v, _mm_set_sd(110.0)), _mm_set_sd(-110.0)));
#else
    return frames::product(static_cast<float>(a), static_cast<float>(b));
#endif
}

inline double sinusoid(double amplitude, double angle, const float (&table)[256]) {
    return frames::sinusoid(static_cast<float>(amplitude), static_cast<float>(angle), table);
}

}  // namespace loop

// The feedback loop's values from one frame to the next, one per loop module by its place in the
// loop. They stay in registers: passing them through memory would add a store and a load to every
// turn of the loop's chain of dependent steps.
struct LoopValues {
    double v0, v1, v2, v3, v4, v5, v6, v7, v8;

    template <int K>
    double& at() {
        static_assert(K >= 0 && K < kModules, "one value per module");
        if constexpr (K == 0) return v0;
        if constexpr (K == 1) return v1;
        if constexpr (K == 2) return v2;
        if constexpr (K == 3) return v3;
        if constexpr (K == 4) return v4;
        if constexpr (K == 5) return v5;
        if constexpr (K == 6) return v6;
        if constexpr (K == 7) return v7;
        if constexpr (K == 8) return v8;
    }

    // What a loop module hears: a loop module, whose value is this frame's if it comes earlier in the
    // loop and the frame before's otherwise, just as in the fixed order; or a column.
    double heard(int slot, const float* column, int f) const {
        switch (slot) {
            case 0:
                return v0;
            case 1:
                return v1;
            case 2:
                return v2;
            case 3:
                return v3;
            case 4:
                return v4;
            case 5:
                return v5;
            case 6:
                return v6;
            case 7:
                return v7;
            case 8:
                return v8;
            default:
                return column[f];
        }
    }
};

template <int K>
inline void stepLoopModule(LoopValues& values, const ModuleRun* runs, int f,
                           const float (&sinusoiderTable)[256]) {
    const ModuleRun& run = runs[K];
    const double a = values.heard(run.slotA, run.a, f);
    const double b = values.heard(run.slotB, run.b, f);
    double& value = values.at<K>();
    switch (run.kind) {
        case ModuleKind::Accumulator:
            value = loop::accumulated(value, a, b);
            break;
        case ModuleKind::Multiplier:
            value = loop::product(a, b);
            break;
        case ModuleKind::Sinusoider:
            value = loop::sinusoid(a, b, sinusoiderTable);
            break;
    }
    run.column[f + 1] = static_cast<float>(value);  // exact: the value is a float's
}

// The modules that feed back, frame by frame in the fixed order.
void runLoop(const ModuleRun* runs, int n, int count, const float (&sinusoiderTable)[256]) {
    if (n == 0) return;
    double start[kModules] = {};
    for (int m = 0; m < n; ++m) start[m] = runs[m].column[0];
    LoopValues values{start[0], start[1], start[2], start[3], start[4],
                      start[5], start[6], start[7], start[8]};
    for (int f = 0; f < count; ++f) {
        stepLoopModule<0>(values, runs, f, sinusoiderTable);
        if (n > 1) stepLoopModule<1>(values, runs, f, sinusoiderTable);
        if (n > 2) stepLoopModule<2>(values, runs, f, sinusoiderTable);
        if (n > 3) stepLoopModule<3>(values, runs, f, sinusoiderTable);
        if (n > 4) stepLoopModule<4>(values, runs, f, sinusoiderTable);
        if (n > 5) stepLoopModule<5>(values, runs, f, sinusoiderTable);
        if (n > 6) stepLoopModule<6>(values, runs, f, sinusoiderTable);
        if (n > 7) stepLoopModule<7>(values, runs, f, sinusoiderTable);
        if (n > 8) stepLoopModule<8>(values, runs, f, sinusoiderTable);
    }
}

// The mixer over a batch, channel by channel, then the bytes of its frames; each a loop over frames,
// which the compiler runs several frames at a time.
__attribute__((always_inline)) inline void mixBatchBody(const Plan& plan, int count, std::uint8_t* leftBytes,
                                                        std::uint8_t* rightBytes) {
    float left[kBatchFrames] = {};
    float right[kBatchFrames] = {};
    for (int c = 0; c < plan.channelCount; ++c) {
        const batch::ChannelRun& run = plan.channels[c];
        const float* heard = run.signal;
        const float* heardPan = run.pan;
        switch (run.kind) {
            case ChannelKind::Weighted:
                for (int f = 0; f < count; ++f) {
                    const float term = frames::channelTerm(run.level, heard[f]);
                    right[f] = frames::addWeighted(right[f], run.rightWeight, term);
                    left[f] = frames::addWeighted(left[f], run.leftWeight, term);
                }
                break;
            case ChannelKind::AutoPanned:
                for (int f = 0; f < count; ++f) {
                    const float term = frames::channelTerm(run.level, heard[f]);
                    const int e = frames::autoPanPosition(heardPan[f]);
                    right[f] = frames::addAutoPanned(right[f], e, term, run.rightWeight);
                    left[f] = frames::addAutoPanned(left[f], 254 - e, term, run.leftWeight);
                }
                break;
            case ChannelKind::Mono:
                for (int f = 0; f < count; ++f) {
                    const float term = frames::channelTerm(run.level, heard[f]);
                    right[f] = frames::addMono(right[f], term);
                    left[f] = frames::addMono(left[f], term);
                }
                break;
        }
    }
    const int divisor = plan.channelCount;
    if (divisor > 0 && (divisor & (divisor - 1)) == 0) {
        // Dividing by a power of two is multiplying by its inverse, exactly: a float's quotient by at
        // most 8 is far from the doubles too small to be exact.
        const double inverse = 1.0 / divisor;
        for (int f = 0; f < count; ++f) left[f] = static_cast<float>(static_cast<double>(left[f]) * inverse);
        for (int f = 0; f < count; ++f)
            right[f] = static_cast<float>(static_cast<double>(right[f]) * inverse);
    } else if (divisor > 0) {
        for (int f = 0; f < count; ++f) left[f] = frames::average(left[f], divisor);
        for (int f = 0; f < count; ++f) right[f] = frames::average(right[f], divisor);
    }
    for (int f = 0; f < count; ++f) left[f] = frames::clippedSum(left[f]);
    for (int f = 0; f < count; ++f) right[f] = frames::clippedSum(right[f]);
    for (int f = 0; f < count; ++f) leftBytes[f] = static_cast<std::uint8_t>(frames::byteOfClipped(left[f]));
    for (int f = 0; f < count; ++f)
        rightBytes[f] = static_cast<std::uint8_t>(frames::byteOfClipped(right[f]));
}

void mixBatchNarrow(const Plan& plan, int count, std::uint8_t* leftBytes, std::uint8_t* rightBytes) {
    mixBatchBody(plan, count, leftBytes, rightBytes);
}

#ifdef VOLTINA_WIDE_VECTORS
// The same mixer for processors with 256-bit vectors: four doubles to an operation instead of two,
// which halves the turns of the divisions, its costliest steps. Every operation rounds as before.
__attribute__((target("avx2"))) void mixBatchWide(const Plan& plan, int count, std::uint8_t* leftBytes,
                                                  std::uint8_t* rightBytes) {
    mixBatchBody(plan, count, leftBytes, rightBytes);
}

// And the same for processors with 512-bit vectors.
VOLTINA_WIDEST_VECTORS void mixBatchWidest(const Plan& plan, int count, std::uint8_t* leftBytes,
                                           std::uint8_t* rightBytes) {
    mixBatchBody(plan, count, leftBytes, rightBytes);
}
#endif

void mixBatch(const Plan& plan, int count, std::uint8_t* leftBytes, std::uint8_t* rightBytes) {
#ifdef VOLTINA_WIDE_VECTORS
    static const bool wide = __builtin_cpu_supports("avx2");
    if (widestVectors()) {
        mixBatchWidest(plan, count, leftBytes, rightBytes);
        return;
    }
    if (wide && vectorBitsAllowed >= 256) {
        mixBatchWide(plan, count, leftBytes, rightBytes);
        return;
    }
#endif
    mixBatchNarrow(plan, count, leftBytes, rightBytes);
}

// Runs `count` frames (at most kBatchFrames) and writes their bytes. The caller has made sure that a
// recording in progress has room for all of them.
void renderBatch(EngineState& s, RenderHost& host, const Plan& plan, Columns& columns, int count) {
    for (int m = 0; m < plan.moduleCount; ++m) plan.modules[m].column[0] = s.outValue[plan.modules[m].output];
    for (int c = 0; c < plan.constantCount; ++c) {
        float* column = columns.jack[plan.constants[c]];
        column[0] = s.outValue[plan.constants[c]];
        for (int f = 1; f <= count; ++f) column[f] = column[0];
    }

    runSources(s, plan, columns, count);
    for (int m = 0; m < plan.loopBegin; ++m) runColumn(plan.modules[m], count, s.sinusoiderTable);
    runLoop(plan.modules + plan.loopBegin, plan.loopEnd - plan.loopBegin, count, s.sinusoiderTable);
    for (int m = plan.loopEnd; m < plan.moduleCount; ++m)
        runColumn(plan.modules[m], count, s.sinusoiderTable);
    for (int m = 0; m < plan.moduleCount; ++m)
        s.outValue[plan.modules[m].output] = plan.modules[m].column[count];

    std::uint8_t leftBytes[kBatchFrames];
    std::uint8_t rightBytes[kBatchFrames];
    mixBatch(plan, count, leftBytes, rightBytes);
    // The bytes go into the ring (wrapping at the played length, which may be odd) and then into the
    // recording.
    int writePos = s.writePos;
    const int ringBytes = s.ring.ringBytes();
    for (int f = 0; f < count;) {
        // the frames up to the wrap: those starting below the played length (at least one)
        int run = writePos < ringBytes ? (ringBytes - writePos + 1) / 2 : 1;
        run = run < count - f ? run : count - f;
        for (int k = 0; k < run; ++k) {
            s.ring.store(writePos + 2 * k, leftBytes[f + k]);
            s.ring.store(writePos + 2 * k + 1, rightBytes[f + k]);
        }
        f += run;
        writePos += 2 * run;
        if (writePos >= ringBytes) writePos = 0;
    }
    s.writePos = writePos;
    if (s.recordOn == 1) {
        for (int f = 0; f < count; ++f) {
            if (!s.recording.append(leftBytes[f], rightBytes[f])) {
                s.recordOn = 0;  // not expected with the room checked beforehand; handled as renderFrame does
                host.showMessage(kRecordingMemoryMessage);
                break;
            }
        }
    }
}

}  // namespace

void renderFrames(EngineState& s, RenderHost& host, int n) {
    Plan plan;
    Columns columns;
    batch::makePlan(s, plan, columns);
    while (n > 0) {
        int count = n < kBatchFrames ? n : kBatchFrames;
        if (s.recordOn == 1) {
            const std::size_t room = s.recording.framesBeforeGrowth();
            if (room == 0) {
                // The recording must grow, which may fail and show a message: one frame the plain way,
                // and the patch read again in case anything changed while the message was up.
                renderFrame(s, host);
                batch::makePlan(s, plan, columns);
                n -= 1;
                continue;
            }
            if (room < static_cast<std::size_t>(count)) count = static_cast<int>(room);
        }
        renderBatch(s, host, plan, columns, count);
        n -= count;
    }
}

void limitVectorBitsForTesting(int bits) {
    vectorBitsAllowed = bits;
}

}  // namespace voltina
