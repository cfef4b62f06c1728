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

}  // namespace voltina::batch
