#pragma once
// How the render loop runs a batch of frames for one patch: which steps run, in which order, and where
// each one finds what it hears.
//
// Within a render call the patch is fixed, so every jack is written by at most one step per frame, and
// a step hears either this frame's value of a jack written earlier in the fixed order, or the previous
// frame's value of a jack written later (or by itself), or, when nothing writes it, a constant. A batch
// can therefore run jack by jack, each step over all of the batch's frames, keeping every jack's values
// in a column: only the modules that feed back into themselves have to go frame by frame, and the long
// chain through one frame's modules no longer holds up the next frame.

#include <cstdint>

#include "engine/engine_state.h"

namespace voltina::batch {

// Frames computed together.
constexpr int kBatchFrames = 128;

// The accumulators, multipliers and sinusoiders, in the fixed order: group k's accumulator,
// multiplier, sinusoider, for k = 0, 1, 2.
constexpr int kModules = 3 * kModulesPerGroup;

// The batch's jack values: jack[j][0] is jack j before the batch, jack[j][f + 1] after frame f.
// Reading from offset 1 gives a frame's own value, from offset 0 the previous frame's.
struct Columns {
    float jack[kJacks][kBatchFrames + 1];
};

struct OscillatorRun {
    int index;
    float* column;  // jack A's column from offset 1: frame f at [f]
    float freq;
    float slowFreq;    // freq while an accumulator reads the oscillator
    float steadyFreq;  // what it advances by after a batch's first frame
};

// The running oscillators of one wave type, in their order.
struct OscillatorGroup {
    OscillatorRun runs[kOscillators];
    int count = 0;
};

enum class ModuleKind : std::uint8_t { Accumulator, Multiplier, Sinusoider };

struct ModuleRun {
    ModuleKind kind;
    int output;
    int sourceA;  // the jacks its two inputs hear
    int sourceB;
    const float* a;  // their columns, from the offset the order gives: frame f at [f]
    const float* b;
    float* column;  // its own output's column
    // In the feedback loop: the loop module each input hears, by its place in the loop, or -1 when
    // the input reads its column.
    int slotA;
    int slotB;
};

enum class ChannelKind : std::uint8_t { Weighted, AutoPanned, Mono };

struct ChannelRun {
    ChannelKind kind;
    int level;
    const float* signal;  // what the channel hears (a panoramiker's signal source), frame f at [f]
    const float* pan;     // a panoramiker's pan source
    double rightWeight;   // mixPan
    double leftWeight;    // 100 - mixPan
    // level / 128, exact when levelInFloat: then the signal's float product with it is channelTerm
    bool levelInFloat;
    float scale;
};

// Everything the frame tests that a frame cannot change, for one render call.
struct Plan {
    OscillatorGroup sines;
    OscillatorGroup squares;
    OscillatorGroup sawtooths;
    OscillatorGroup randoms;
    OscillatorGroup others;  // no wave type: jack B still mirrors jack A
    bool midi = false;
    bool wave = false;
    // The oscillators that a running accumulator slows.
    int slowed[2 * kModulesPerGroup];
    int slowedCount = 0;
    // Jacks that someone hears but no step writes: their columns hold their value throughout.
    int constants[kJacks];
    int constantCount = 0;

    // The running accumulators, multipliers and sinusoiders in three stretches, each in an order in
    // which every module comes after what it hears: those that run jack by jack before the feedback
    // loop; the feedback loop itself (every accumulator, every module that hears itself through
    // others, and whatever lies on a path between two of them), which runs frame by frame; and those
    // that run jack by jack after it. The loop starts with its lone accumulators, [loopBegin, loneEnd):
    // they hear nothing of the loop, so their values go from frame to frame on chains of their own;
    // the rest of it, [loneEnd, loopEnd), is in the fixed order.
    ModuleRun modules[kModules];
    int loopBegin = 0;
    int loneEnd = 0;
    int loopEnd = 0;
    int moduleCount = 0;

    ChannelRun channels[kMixerChannels];
    int channelCount = 0;  // the contributing channels, the mixer's divisor

    // Per output jack, the column a step writes its values into (jack B of an oscillator shares jack A's),
    // or -1 when no step writes it and it keeps its value: what a JackTap is shown.
    int writtenColumn[kJacks];
};

// The plan for the patch as it stands, pointing into `columns`.
void makePlan(const EngineState& s, Plan& plan, Columns& columns);

}  // namespace voltina::batch
