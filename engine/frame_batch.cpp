#include "engine/frame_batch.h"

#include <cstdint>

#include "engine/batch_plan.h"
#include "engine/batch_steps.h"

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

// Runs `count` frames (at most kBatchFrames) and writes their bytes. The caller has made sure that a
// recording in progress has room for all of them.
void renderBatch(EngineState& s, RenderHost& host, const Plan& plan, Columns& columns, int count) {
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
    // The bytes go into the ring, wrapping at the played length (with an odd length, which only tests
    // set, the last frame ends one byte past it, as in renderFrame), and then into the recording.
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
    if (recordingOn(s)) {
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
        if (recordingOn(s)) {
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
    batch::vectorBitsAllowed = bits;
}

}  // namespace voltina