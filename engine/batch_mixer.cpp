#include <cstdint>

#include "engine/batch_steps.h"
#include "engine/mixer_terms.h"
#include "engine/module_frames.h"

namespace voltina::batch {

namespace {

// A channel's term: channelTerm, or its float product when that is the same.
template <bool InFloat>
__attribute__((always_inline)) inline float termOf(const ChannelRun& run, float signal) {
    if constexpr (InFloat) {
        return signal * run.scale;
    } else {
        return frames::channelTerm(run.level, signal);
    }
}

// One channel over a batch, added to the sums.
template <bool InFloat>
__attribute__((always_inline)) inline void addChannel(const ChannelRun& run, int count, float* left,
                                                      float* right) {
    const float* heard = run.signal;
    const float* heardPan = run.pan;
    switch (run.kind) {
        case ChannelKind::Weighted:
            for (int f = 0; f < count; ++f) {
                const float term = termOf<InFloat>(run, heard[f]);
                right[f] = frames::addWeighted(right[f], run.rightWeight, term);
                left[f] = frames::addWeighted(left[f], run.leftWeight, term);
            }
            break;
        case ChannelKind::AutoPanned:
            for (int f = 0; f < count; ++f) {
                const float term = termOf<InFloat>(run, heard[f]);
                const int e = frames::autoPanPosition(heardPan[f]);
                right[f] = frames::addAutoPanned(right[f], e, term, run.rightWeight);
                left[f] = frames::addAutoPanned(left[f], 254 - e, term, run.leftWeight);
            }
            break;
        case ChannelKind::Mono:
            for (int f = 0; f < count; ++f) {
                const float term = termOf<InFloat>(run, heard[f]);
                right[f] = frames::addMono(right[f], term);
                left[f] = frames::addMono(left[f], term);
            }
            break;
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
        if (run.levelInFloat) {
            addChannel<true>(run, count, left, right);
        } else {
            addChannel<false>(run, count, left, right);
        }
    }
    const int divisor = plan.channelCount;
    if (divisor > 0 && (divisor & (divisor - 1)) == 0) {
        // Dividing by a power of two is multiplying by its inverse, and in float: the quotient is exact
        // in both unless it falls below the smallest normal float, where the float product may round
        // differently from the double quotient; but a sum that small, clipped as it is, gives the byte
        // 128 either way (128 plus or minus it is 128 as a double), and the sums give nothing but bytes.
        const float inverse = 1.0f / static_cast<float>(divisor);
        for (int f = 0; f < count; ++f) left[f] = left[f] * inverse;
        for (int f = 0; f < count; ++f) right[f] = right[f] * inverse;
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

}  // namespace

void mixBatch(const Plan& plan, int count, std::uint8_t* leftBytes, std::uint8_t* rightBytes) {
#ifdef VOLTINA_WIDE_VECTORS
    static const bool wide = __builtin_cpu_supports("avx2");
    if (widestVectors()) {
        mixBatchWidest(plan, count, leftBytes, rightBytes);
        return;
    }
    if (wide && allowedVectorBits() >= 256) {
        mixBatchWide(plan, count, leftBytes, rightBytes);
        return;
    }
#endif
    mixBatchNarrow(plan, count, leftBytes, rightBytes);
}

}  // namespace voltina::batch
