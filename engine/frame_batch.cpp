#include "engine/frame_batch.h"

#include <cstdint>

#include "engine/mixer_terms.h"
#include "engine/module_frames.h"

namespace voltina {

namespace {

// Frames computed before the mixer runs over them. The mixer's left and right sums are long chains of
// float-double round trips within a frame but independent between frames: mixing a batch of frames
// channel by channel lets those chains overlap instead of waiting for one another.
constexpr int kBatchFrames = 64;

enum class ChannelKind : std::uint8_t { Weighted, AutoPanned, Mono };

struct OscillatorRun {
    int index;
    float freq;
    float slowFreq;  // freq while an accumulator reads the oscillator
    float steadyFreq;  // what it advances by after a batch's first frame
};

// The oscillators of one wave type. Oscillators do not read one another, so they may run type by type;
// only the random ones share a generator, and they keep their order among themselves.
struct OscillatorGroup {
    OscillatorRun runs[kOscillators];
    int count = 0;
};

struct ModuleRun {
    int output;
    int a;       // the sources of the two inputs
    int b;
    int* slowA;  // an accumulator's oscillator slowing, or a scratch flag when its source is none
    int* slowB;
};

// Which modules of a group number run: module k of each group, in the fixed order accumulator,
// multiplier, sinusoider.
enum ModuleMask : unsigned { kRunsAccumulator = 1, kRunsMultiplier = 2, kRunsSinusoider = 4 };

struct GroupRun {
    unsigned mask;
    ModuleRun accumulator;
    ModuleRun multiplier;
    ModuleRun sinusoider;
};

struct ChannelRun {
    ChannelKind kind;
    int level;
    int signal;          // the output the channel hears (a panoramiker's signal source)
    int panSignal;       // a panoramiker's pan source
    double rightWeight;  // mixPan
    double leftWeight;   // 100 - mixPan
};

// Which steps run, and in which order, for one render call: everything the frame tests that a frame
// cannot change.
struct Plan {
    OscillatorGroup sines;
    OscillatorGroup squares;
    OscillatorGroup sawtooths;
    OscillatorGroup randoms;
    OscillatorGroup others;  // no wave type: jack B still mirrors jack A
    bool midi = false;
    GroupRun groups[kModulesPerGroup];  // the group numbers with a running module, in order
    int groupCount = 0;
    bool wave = false;
    ChannelRun channels[kMixerChannels];
    int channelCount = 0;  // the contributing channels, the mixer's divisor
    // The outputs the mixer hears, each into its row of a batch's captures: channel c's signal into
    // row c, a panoramiker's pan into row kMixerChannels + c.
    struct Capture {
        int jack;
        int row;
    } captures[2 * kMixerChannels];
    int captureCount = 0;
    int scratchSlow = 0;
};

bool moduleRuns(const EngineState& s, int output, int firstInput) {
    return s.outputUsed[output] == 1 && hasCord(s, firstInput) && hasCord(s, firstInput + 1);
}

ModuleRun moduleRun(EngineState& s, Plan& plan, int output, int firstInput) {
    return {output, s.cordSource[firstInput], s.cordSource[firstInput + 1], &plan.scratchSlow,
            &plan.scratchSlow};
}

void makePlan(EngineState& s, Plan& plan) {
    plan.sines.count = plan.squares.count = plan.sawtooths.count = plan.randoms.count = plan.others.count = 0;
    for (int i = 0; i < kOscillators; ++i) {
        if (s.outputUsed[kOutOscA + i] != 1 && s.outputUsed[kOutOscB + i] != 1) continue;
        OscillatorGroup& group = s.oscType[i] == kSine       ? plan.sines
                                 : s.oscType[i] == kSquare   ? plan.squares
                                 : s.oscType[i] == kSawtooth ? plan.sawtooths
                                 : s.oscType[i] == kRandom   ? plan.randoms
                                                             : plan.others;
        group.runs[group.count++] = {i, s.oscFreq[i], frames::slowedFrequency(s.oscFreq[i]), s.oscFreq[i]};
    }
    plan.midi = s.midiOpen != 0 && s.midiNote != 0;
    plan.groupCount = 0;
    for (int k = 0; k < kModulesPerGroup; ++k) {
        GroupRun group{};
        if (moduleRuns(s, kOutAccumulator + k, kInAccumulator + 2 * k)) {
            group.mask |= kRunsAccumulator;
            group.accumulator = moduleRun(s, plan, kOutAccumulator + k, kInAccumulator + 2 * k);
            const int oscA = frames::slowedOscillator(group.accumulator.a);
            const int oscB = frames::slowedOscillator(group.accumulator.b);
            if (oscA >= 0) group.accumulator.slowA = &s.oscSlow[oscA];
            if (oscB >= 0) group.accumulator.slowB = &s.oscSlow[oscB];
        }
        if (moduleRuns(s, kOutMultiplier + k, kInMultiplier + 2 * k)) {
            group.mask |= kRunsMultiplier;
            group.multiplier = moduleRun(s, plan, kOutMultiplier + k, kInMultiplier + 2 * k);
        }
        if (moduleRuns(s, kOutSinusoider + k, kInSinusoider + 2 * k)) {
            group.mask |= kRunsSinusoider;
            group.sinusoider = moduleRun(s, plan, kOutSinusoider + k, kInSinusoider + 2 * k);
        }
        if (group.mask != 0) plan.groups[plan.groupCount++] = group;
    }
    plan.wave = s.outputUsed[kOutWave] == 1 && s.waveSample;
    // The accumulators run every frame, so from a batch's second frame on, an oscillator one of them
    // reads is always slowed and any other never is.
    for (OscillatorGroup* group : {&plan.sines, &plan.randoms}) {
        for (int o = 0; o < group->count; ++o) {
            OscillatorRun& run = group->runs[o];
            const int* slow = &s.oscSlow[run.index];
            for (int g = 0; g < plan.groupCount; ++g) {
                const GroupRun& modules = plan.groups[g];
                if ((modules.mask & kRunsAccumulator) &&
                    (modules.accumulator.slowA == slow || modules.accumulator.slowB == slow))
                    run.steadyFreq = run.slowFreq;
            }
        }
    }

    plan.channelCount = 0;
    plan.captureCount = 0;
    for (int ch = 0; ch < kMixerChannels; ++ch) {
        if (s.cordPresent[kInMixer + ch] != 1) continue;
        const int source = s.cordSource[kInMixer + ch];
        ChannelRun run{};
        run.level = s.mixLevel[ch];
        run.rightWeight = s.mixPan[ch];
        run.leftWeight = 100 - run.rightWeight;
        if (s.stereoOut == 1 && isPanoramikerOutput(source)) {
            const int signalIn = panoramikerSignalInput(source);
            const int panIn = panoramikerPanInput(source);
            if (!hasCord(s, signalIn) || !hasCord(s, panIn)) continue;
            run.kind = ChannelKind::AutoPanned;
            run.signal = s.cordSource[signalIn];
            run.panSignal = s.cordSource[panIn];
        } else {
            if (source < 0 || source >= kJacks) continue;
            run.kind = s.stereoOut == 1 ? ChannelKind::Weighted : ChannelKind::Mono;
            run.signal = source;
            run.panSignal = source;
        }
        plan.captures[plan.captureCount++] = {run.signal, plan.channelCount};
        if (run.kind == ChannelKind::AutoPanned)
            plan.captures[plan.captureCount++] = {run.panSignal, kMixerChannels + plan.channelCount};
        plan.channels[plan.channelCount++] = run;
    }
}

// The frequency an oscillator advances by this frame; reading the flag clears it, as every oscillator
// step does, whether or not its type uses the frequency.
//
// Only a batch's first frame goes through the flags: in the later ones every flag is read as the
// accumulators of the frame before left it, which steadyFreq already knows, and each frame leaves the
// flags as the first one did.
template <bool First>
inline float takeFrequency(EngineState& s, const OscillatorRun& run) {
    if (!First) return run.steadyFreq;
    const float f = s.oscSlow[run.index] == 1 ? run.slowFreq : run.freq;
    s.oscSlow[run.index] = 0;
    return f;
}

inline void mirrorJackB(EngineState& s, int i) { s.outValue[kOutOscB + i] = s.outValue[i]; }

// The running modules of one group number, in their order, without asking each one's kind: each
// reads the outputs as the ones before it have left them.
template <bool First, unsigned Mask>
inline void stepGroup(const GroupRun& group, float* out, const float (&sinusoiderTable)[256]) {
    if (Mask & kRunsAccumulator) {
        const ModuleRun& run = group.accumulator;
        if (First) {
            *run.slowA = 1;
            *run.slowB = 1;
        }
        out[run.output] = frames::accumulated(out[run.output], out[run.a], out[run.b]);
    }
    if (Mask & kRunsMultiplier) {
        const ModuleRun& run = group.multiplier;
        out[run.output] = frames::product(out[run.a], out[run.b]);
    }
    if (Mask & kRunsSinusoider) {
        const ModuleRun& run = group.sinusoider;
        out[run.output] = frames::sinusoid(out[run.a], out[run.b], sinusoiderTable);
    }
}

// The modules of one frame, in the fixed order.
template <bool First>
void stepModules(EngineState& s, const Plan& plan, const SineView& sine) {
    for (int o = 0; o < plan.sines.count; ++o) {
        const OscillatorRun& run = plan.sines.runs[o];
        frames::sineStep(s, run.index, takeFrequency<First>(s, run), sine);
        mirrorJackB(s, run.index);
    }
    for (int o = 0; o < plan.squares.count; ++o) {
        const OscillatorRun& run = plan.squares.runs[o];
        if (First) s.oscSlow[run.index] = 0;
        frames::squareStep(s, run.index);
        mirrorJackB(s, run.index);
    }
    for (int o = 0; o < plan.sawtooths.count; ++o) {
        const OscillatorRun& run = plan.sawtooths.runs[o];
        if (First) s.oscSlow[run.index] = 0;
        frames::sawtoothStep(s, run.index);
        mirrorJackB(s, run.index);
    }
    for (int o = 0; o < plan.randoms.count; ++o) {
        const OscillatorRun& run = plan.randoms.runs[o];
        frames::randomStep(s, run.index, takeFrequency<First>(s, run), sine);
        mirrorJackB(s, run.index);
    }
    for (int o = 0; o < plan.others.count; ++o) {
        if (First) s.oscSlow[plan.others.runs[o].index] = 0;
        mirrorJackB(s, plan.others.runs[o].index);
    }
    if (plan.midi) frames::midiVoice(s);
    float* out = s.outValue;
    for (int g = 0; g < plan.groupCount; ++g) {
        const GroupRun& group = plan.groups[g];
        switch (group.mask) {
            case 1: stepGroup<First, 1>(group, out, s.sinusoiderTable); break;
            case 2: stepGroup<First, 2>(group, out, s.sinusoiderTable); break;
            case 3: stepGroup<First, 3>(group, out, s.sinusoiderTable); break;
            case 4: stepGroup<First, 4>(group, out, s.sinusoiderTable); break;
            case 5: stepGroup<First, 5>(group, out, s.sinusoiderTable); break;
            case 6: stepGroup<First, 6>(group, out, s.sinusoiderTable); break;
            default: stepGroup<First, 7>(group, out, s.sinusoiderTable); break;
        }
    }
    if (plan.wave) frames::wave(s);
}

// Runs `count` frames (at most kBatchFrames) and writes their bytes. The caller has made sure that a
// recording in progress has room for all of them.
void renderBatch(EngineState& s, RenderHost& host, const Plan& plan, int count) {
    // what each channel heard in each frame, captured once the frame's modules have run
    float heard[2 * kMixerChannels][kBatchFrames];
    float(*heardPan)[kBatchFrames] = heard + kMixerChannels;
    const SineView sine(s);
    for (int f = 0; f < count; ++f) {
        if (f == 0)
            stepModules<true>(s, plan, sine);
        else
            stepModules<false>(s, plan, sine);
        for (int c = 0; c < plan.captureCount; ++c)
            heard[plan.captures[c].row][f] = s.outValue[plan.captures[c].jack];
    }

    float left[kBatchFrames] = {};
    float right[kBatchFrames] = {};
    for (int c = 0; c < plan.channelCount; ++c) {
        const ChannelRun& run = plan.channels[c];
        switch (run.kind) {
            case ChannelKind::Weighted:
                for (int f = 0; f < count; ++f) {
                    const float term = frames::channelTerm(run.level, heard[c][f]);
                    right[f] = frames::addWeighted(right[f], run.rightWeight, term);
                    left[f] = frames::addWeighted(left[f], run.leftWeight, term);
                }
                break;
            case ChannelKind::AutoPanned:
                for (int f = 0; f < count; ++f) {
                    const float term = frames::channelTerm(run.level, heard[c][f]);
                    const int e = frames::autoPanPosition(heardPan[c][f]);
                    right[f] = frames::addAutoPanned(right[f], e, term, run.rightWeight);
                    left[f] = frames::addAutoPanned(left[f], 254 - e, term, run.leftWeight);
                }
                break;
            case ChannelKind::Mono:
                for (int f = 0; f < count; ++f) {
                    const float term = frames::channelTerm(run.level, heard[c][f]);
                    right[f] = frames::addMono(right[f], term);
                    left[f] = frames::addMono(left[f], term);
                }
                break;
        }
    }

    const int divisor = plan.channelCount;
    for (int f = 0; f < count; ++f) {
        const float l = divisor > 0 ? frames::average(left[f], divisor) : 0.0f;
        const float r = divisor > 0 ? frames::average(right[f], divisor) : 0.0f;
        const auto leftByte = static_cast<std::uint8_t>(frames::byteOfSum(l));
        const auto rightByte = static_cast<std::uint8_t>(frames::byteOfSum(r));
        s.ring.store(s.writePos, leftByte);
        s.ring.store(s.writePos + 1, rightByte);
        s.writePos += 2;
        if (s.recordOn == 1 && !s.recording.append(leftByte, rightByte)) {
            s.recordOn = 0;  // not expected with the room checked beforehand; handled as renderFrame does
            host.showMessage(kRecordingMemoryMessage);
        }
        if (s.writePos >= s.ring.ringBytes()) s.writePos = 0;
    }
}

}  // namespace

void renderFrames(EngineState& s, RenderHost& host, int n) {
    Plan plan;
    makePlan(s, plan);
    while (n > 0) {
        int count = n < kBatchFrames ? n : kBatchFrames;
        if (s.recordOn == 1) {
            const std::size_t room = s.recording.framesBeforeGrowth();
            if (room == 0) {
                // The recording must grow, which may fail and show a message: one frame the plain way,
                // and the patch read again in case anything changed while the message was up.
                renderFrame(s, host);
                makePlan(s, plan);
                n -= 1;
                continue;
            }
            if (room < static_cast<std::size_t>(count)) count = static_cast<int>(room);
        }
        renderBatch(s, host, plan, count);
        n -= count;
    }
}

}  // namespace voltina
