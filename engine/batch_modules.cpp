#include <utility>

#include "engine/batch_steps.h"
#include "engine/module_frames.h"

namespace voltina::batch {

namespace {

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
// range to the same whole number) and multiplying in float as it does. The entries are looked up one by
// one: quicker here than a gather.
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
        _mm256_storeu_ps(out + f, _mm256_mul_ps(_mm256_loadu_ps(a + f), _mm256_load_ps(looked)));
    }
    for (; f < count; ++f) out[f] = frames::sinusoid(a[f], b[f], sinusoiderTable);
}
#endif

// The feedback loop's steps. Their values go from step to step as doubles: every jack value is a
// float, which a double holds exactly, so the widening each step starts with is done once, where a
// value comes into the loop, instead of on the chain of dependent steps from frame to frame. Each step
// gives exactly the float that its frame step gives, as a double.
namespace loop {

#ifdef __SSE2__
// A value in the low lane of a vector register, where the conversions work on it: kept there from step
// to step, it needs no move into a fresh register before each conversion. The high lane is carried
// along and never read.
using Value = __m128d;

inline Value load(const float* column) {
    return _mm_cvtps_pd(_mm_load_ss(column));
}
inline float stored(Value v) {
    return static_cast<float>(_mm_cvtsd_f64(v));  // exact: the value is a float's
}

// frames::accumulated, with the whole number a cast to int gives (0x80000000 when out of range, as the
// cast's instruction does) left in a vector register: moving it to an integer register and back
// costs more than the conversions.
inline Value accumulated(Value current, Value a, Value b) {
    const Value x = _mm_add_sd(current, _mm_mul_sd(_mm_add_sd(a, b), _mm_set_sd(1.0 / 12)));
    // frames::wrapAccumulator, lane by lane
    const __m128i turned =
        _mm_and_si128(_mm_add_epi32(_mm_cvttpd_epi32(x), _mm_set1_epi32(126)), _mm_set1_epi32(255));
    return _mm_cvtepi32_pd(_mm_sub_epi32(turned, _mm_set1_epi32(126)));
}

// frames::product, clamped as a double, which gives the same (the whole number is exact, and never
// NaN), with minimum and maximum instructions: the compiler makes the comparisons branches, which
// values going in and out of the clamp mispredict.
inline Value product(Value a, Value b) {
    const Value v = _mm_cvtepi32_pd(_mm_cvttpd_epi32(_mm_mul_sd(a, b)));
    return _mm_max_sd(_mm_min_sd(v, _mm_set_sd(110.0)), _mm_set_sd(-110.0));
}

inline Value sinusoid(Value amplitude, Value angle, const float (&table)[256]) {
    return _mm_cvtps_pd(_mm_set_ss(frames::sinusoid(stored(amplitude), stored(angle), table)));
}
#else
using Value = double;

inline Value load(const float* column) {
    return *column;
}
inline float stored(Value v) {
    return static_cast<float>(v);
}
inline Value accumulated(Value current, Value a, Value b) {
    return frames::wrapAccumulator(static_cast<int>(current + (a + b) * (1.0 / 12)));
}
inline Value product(Value a, Value b) {
    return frames::product(static_cast<float>(a), static_cast<float>(b));
}
inline Value sinusoid(Value amplitude, Value angle, const float (&table)[256]) {
    return frames::sinusoid(static_cast<float>(amplitude), static_cast<float>(angle), table);
}
#endif

}  // namespace loop

// The feedback loop's values from one frame to the next, one per chained module by its place in the
// loop. They stay in registers: passing them through memory would add a store and a load to every
// turn of the loop's chain of dependent steps.
template <int N>
struct LoopValues {
    loop::Value v[N > 0 ? N : 1];

    // What a chained module hears: a chained module, whose value is this frame's if it comes earlier
    // in the loop and the frame before's otherwise, just as in the fixed order; or a column. The
    // comparisons stop at the loop's size, and the patch never changes within a call, so they are
    // predicted every time.
    template <int K = 0>
    loop::Value heard(int slot, const float* column, int f) const {
        if constexpr (K < N) {
            if (slot == K) return v[K];
            return heard<K + 1>(slot, column, f);
        } else {
            return loop::load(column + f);
        }
    }
};

template <int K, int N>
__attribute__((always_inline)) inline void stepChained(LoopValues<N>& values, const ModuleRun* runs, int f,
                                                       const float (&sinusoiderTable)[256]) {
    const ModuleRun& run = runs[K];
    const loop::Value a = values.heard(run.slotA, run.a, f);
    const loop::Value b = values.heard(run.slotB, run.b, f);
    loop::Value& value = values.v[K];
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
    run.column[f + 1] = loop::stored(value);
}

template <int N, int... K>
__attribute__((always_inline)) inline void stepAllChained(LoopValues<N>& values,
                                                          [[maybe_unused]] const ModuleRun* runs,
                                                          [[maybe_unused]] int f,
                                                          const float (&sinusoiderTable)[256],
                                                          std::integer_sequence<int, K...>) {
    (stepChained<K, N>(values, runs, f, sinusoiderTable), ...);  // nothing when all are lone
}

// The loop over a batch: in each frame its L lone accumulators, which hear only columns, then its N
// chained modules in the fixed order. The lone accumulators' chains are short and independent of the
// chained modules', so the processor runs them side by side. Not inlined: one call per batch, and the
// dispatcher stays small.
template <int L, int N>
__attribute__((noinline)) void runLoopFrames(const ModuleRun* lone, const ModuleRun* chained, int count,
                                             const float (&sinusoiderTable)[256]) {
    loop::Value loneValue[L > 0 ? L : 1];
    for (int k = 0; k < L; ++k) loneValue[k] = loop::load(lone[k].column);
    LoopValues<N> values;
    for (int k = 0; k < N; ++k) values.v[k] = loop::load(chained[k].column);
    for (int f = 0; f < count; ++f) {
        for (int k = 0; k < L; ++k) {
            loneValue[k] =
                loop::accumulated(loneValue[k], loop::load(lone[k].a + f), loop::load(lone[k].b + f));
            lone[k].column[f + 1] = loop::stored(loneValue[k]);
        }
        stepAllChained(values, chained, f, sinusoiderTable, std::make_integer_sequence<int, N>{});
    }
}

template <int L>
void runLoopWith(const ModuleRun* lone, const ModuleRun* chained, int n, int count,
                 const float (&sinusoiderTable)[256]) {
    switch (n) {
        case 0:
            return runLoopFrames<L, 0>(lone, chained, count, sinusoiderTable);
        case 1:
            return runLoopFrames<L, 1>(lone, chained, count, sinusoiderTable);
        case 2:
            return runLoopFrames<L, 2>(lone, chained, count, sinusoiderTable);
        case 3:
            return runLoopFrames<L, 3>(lone, chained, count, sinusoiderTable);
        case 4:
            return runLoopFrames<L, 4>(lone, chained, count, sinusoiderTable);
        case 5:
            return runLoopFrames<L, 5>(lone, chained, count, sinusoiderTable);
        case 6:
            return runLoopFrames<L, 6>(lone, chained, count, sinusoiderTable);
        case 7:
            return runLoopFrames<L, 7>(lone, chained, count, sinusoiderTable);
        case 8:
            return runLoopFrames<L, 8>(lone, chained, count, sinusoiderTable);
        default:
            return runLoopFrames<L, 9>(lone, chained, count, sinusoiderTable);
    }
}

}  // namespace

void runColumn(const ModuleRun& run, int count, const float (&sinusoiderTable)[256]) {
#ifdef VOLTINA_WIDE_VECTORS
    if (widestVectors()) {
        runColumnWidest(run, count, sinusoiderTable);
        return;
    }
#endif
    runColumnNarrow(run, count, sinusoiderTable);
}

void runLoop(const ModuleRun* lone, int loneCount, const ModuleRun* chained, int n, int count,
             const float (&sinusoiderTable)[256]) {
    static_assert(kModulesPerGroup == 3, "one case per count of accumulators");
    switch (loneCount) {
        case 0:
            if (n > 0) runLoopWith<0>(lone, chained, n, count, sinusoiderTable);
            return;
        case 1:
            return runLoopWith<1>(lone, chained, n, count, sinusoiderTable);
        case 2:
            return runLoopWith<2>(lone, chained, n, count, sinusoiderTable);
        default:
            return runLoopWith<3>(lone, chained, n, count, sinusoiderTable);
    }
}

}  // namespace voltina::batch
