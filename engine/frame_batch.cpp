#include "engine/frame_batch.h"

#include <cstdint>

#include "engine/batch_plan.h"
#include "engine/batch_steps.h"
#include "engine/render_frames.h"

namespace voltina {

namespace batch {

namespace {
// limitVectorBitsForTesting's setting.
int vectorBitsAllowed = 512;
}  // namespace

int allowedVectorBits() {
    return vectorBitsAllowed;
}

#ifdef VOLTINA_WIDE_VECTORS
bool widestVectors() {
    static const bool widest = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
    return widest && vectorBitsAllowed >= 512;
}
#endif

}  // namespace batch

namespace {

using batch::Columns;
using batch::kBatchFrames;
using batch::Plan;

// Runs `count` frames (at most kBatchFrames) and writes their bytes, two per frame, into `out`.
void renderBatch(EngineState& s, const Plan& plan, Columns& columns, int count, std::uint8_t* out) {
    for (int m = 0; m < plan.moduleCount; ++m) plan.modules[m].column[0] = s.outValue[plan.modules[m].output];
    for (int c = 0; c < plan.constantCount; ++c) {
        float* column = columns.jack[plan.constants[c]];
        column[0] = s.outValue[plan.constants[c]];
        for (int f = 1; f <= count; ++f) column[f] = column[0];
    }

    batch::runSources(s, plan, columns, count);
    for (int m = 0; m < plan.loopBegin; ++m) batch::runColumn(plan.modules[m], count, s.sinusoiderTable);
    batch::runLoop(plan.modules + plan.loopBegin, plan.loneEnd - plan.loopBegin, plan.modules + plan.loneEnd,
                   plan.loopEnd - plan.loneEnd, count, s.sinusoiderTable);
    for (int m = plan.loopEnd; m < plan.moduleCount; ++m)
        batch::runColumn(plan.modules[m], count, s.sinusoiderTable);
    for (int m = 0; m < plan.moduleCount; ++m)
        s.outValue[plan.modules[m].output] = plan.modules[m].column[count];

    std::uint8_t leftBytes[kBatchFrames];
    std::uint8_t rightBytes[kBatchFrames];
    batch::mixBatch(plan, count, leftBytes, rightBytes);
    for (int f = 0; f < count; ++f) {
        out[2 * f] = leftBytes[f];
        out[2 * f + 1] = rightBytes[f];
    }
}

// The watched jack's values over the batch just run: its column from the first frame on, or, when no step
// writes it, the value it keeps.
void showTap(JackTap& tap, const EngineState& s, const Plan& plan, const Columns& columns, int jack,
             int count) {
    const int column = plan.writtenColumn[jack];
    if (column >= 0) {
        tap.takeValues(columns.jack[column] + 1, count);
        return;
    }
    float kept[kBatchFrames];
    for (int f = 0; f < count; ++f) kept[f] = s.outValue[jack];
    tap.takeValues(kept, count);
}

}  // namespace

void renderFrames(EngineState& s, std::uint8_t* out, std::size_t frames, JackTap* tap) {
    if (frames == 0) return;
    Plan plan;
    Columns columns;
    batch::makePlan(s, plan, columns);
    int watched = tap != nullptr ? tap->watchedOutput() : kNoCord;
    if (watched < 0 || watched >= kJacks) watched = kNoCord;
    while (frames > 0) {
        const int count =
            frames < static_cast<std::size_t>(kBatchFrames) ? static_cast<int>(frames) : kBatchFrames;
        renderBatch(s, plan, columns, count, out);
        if (watched != kNoCord) showTap(*tap, s, plan, columns, watched, count);
        out += 2 * count;
        frames -= static_cast<std::size_t>(count);
    }
}

void limitVectorBitsForTesting(int bits) {
    batch::vectorBitsAllowed = bits;
}

}  // namespace voltina