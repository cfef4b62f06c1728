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

enum class ModuleKind : std::uint8_t { Accumulator, Multiplier, Sinusoider };
enum class ChannelKind : std::uint8_t { Weighted, AutoPanned, Mono };

struct OscillatorRun {
    int index;
    float freq;
    float slowFreq;  // freq while an accumulator reads the oscillator
};

// The oscillators of one wave type. Oscillators do not read one another, so they may run type by type;
// only the random ones share a generator, and they keep their order among themselves.
struct OscillatorGroup {
    OscillatorRun runs[kOscillators];
    int count = 0;
};

struct ModuleRun {
    ModuleKind kind;
    int output;
    int a;       // the sources of the two inputs
    int b;
    int* slowA;  // an accumulator's oscillator slowing, or a scratch flag when its source is none
    int* slowB;
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
    ModuleRun modules[3 * kModulesPerGroup];
    int moduleCount = 0;
    bool wave = false;
    ChannelRun channels[kMixerChannels];
    int channelCount = 0;  // the contributing channels, the mixer's divisor
    int scratchSlow = 0;
};

bool moduleRuns(const EngineState& s, int output, int firstInput) {
    return s.outputUsed[output] == 1 && hasCord(s, firstInput) && hasCord(s, firstInput + 1);
}

void addModule(EngineState& s, Plan& plan, ModuleKind kind, int output, int firstInput) {
    ModuleRun run{kind, output, s.cordSource[firstInput], s.cordSource[firstInput + 1], &plan.scratchSlow,
                  &plan.scratchSlow};
    if (kind == ModuleKind::Accumulator) {
        const int oscA = frames::slowedOscillator(run.a);
        const int oscB = frames::slowedOscillator(run.b);
        if (oscA >= 0) run.slowA = &s.oscSlow[oscA];
        if (oscB >= 0) run.slowB = &s.oscSlow[oscB];
    }
    plan.modules[plan.moduleCount++] = run;
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
        group.runs[group.count++] = {i, s.oscFreq[i], frames::slowedFrequency(s.oscFreq[i])};
    }
    plan.midi = s.midiOpen != 0 && s.midiNote != 0;
    plan.moduleCount = 0;
    for (int k = 0; k < kModulesPerGroup; ++k) {
        if (moduleRuns(s, kOutAccumulator + k, kInAccumulator + 2 * k))
            addModule(s, plan, ModuleKind::Accumulator, kOutAccumulator + k, kInAccumulator + 2 * k);
        if (moduleRuns(s, kOutMultiplier + k, kInMultiplier + 2 * k))
            addModule(s, plan, ModuleKind::Multiplier, kOutMultiplier + k, kInMultiplier + 2 * k);
        if (moduleRuns(s, kOutSinusoider + k, kInSinusoider + 2 * k))
            addModule(s, plan, ModuleKind::Sinusoider, kOutSinusoider + k, kInSinusoider + 2 * k);
    }
    plan.wave = s.outputUsed[kOutWave] == 1 && s.waveSample;

    plan.channelCount = 0;
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
        plan.channels[plan.channelCount++] = run;
    }
}

// The frequency an oscillator advances by this frame; reading the flag clears it, as every oscillator
// step does, whether or not its type uses the frequency.
inline float takeFrequency(EngineState& s, const OscillatorRun& run) {
    const float f = s.oscSlow[run.index] == 1 ? run.slowFreq : run.freq;
    s.oscSlow[run.index] = 0;
    return f;
}

inline void mirrorJackB(EngineState& s, int i) { s.outValue[kOutOscB + i] = s.outValue[i]; }

// The modules of one frame, in the fixed order.
void stepModules(EngineState& s, const Plan& plan, const SineView& sine) {
    for (int o = 0; o < plan.sines.count; ++o) {
        const OscillatorRun& run = plan.sines.runs[o];
        frames::sineStep(s, run.index, takeFrequency(s, run), sine);
        mirrorJackB(s, run.index);
    }
    for (int o = 0; o < plan.squares.count; ++o) {
        const OscillatorRun& run = plan.squares.runs[o];
        s.oscSlow[run.index] = 0;
        frames::squareStep(s, run.index);
        mirrorJackB(s, run.index);
    }
    for (int o = 0; o < plan.sawtooths.count; ++o) {
        const OscillatorRun& run = plan.sawtooths.runs[o];
        s.oscSlow[run.index] = 0;
        frames::sawtoothStep(s, run.index);
        mirrorJackB(s, run.index);
    }
    for (int o = 0; o < plan.randoms.count; ++o) {
        const OscillatorRun& run = plan.randoms.runs[o];
        frames::randomStep(s, run.index, takeFrequency(s, run), sine);
        mirrorJackB(s, run.index);
    }
    for (int o = 0; o < plan.others.count; ++o) {
        s.oscSlow[plan.others.runs[o].index] = 0;
        mirrorJackB(s, plan.others.runs[o].index);
    }
    if (plan.midi) frames::midiVoice(s);
    float* out = s.outValue;
    for (int m = 0; m < plan.moduleCount; ++m) {
        const ModuleRun& run = plan.modules[m];
        switch (run.kind) {
            case ModuleKind::Accumulator:
                *run.slowA = 1;
                *run.slowB = 1;
                out[run.output] = frames::accumulated(out[run.output], out[run.a], out[run.b]);
                break;
            case ModuleKind::Multiplier:
                out[run.output] = frames::product(out[run.a], out[run.b]);
                break;
            case ModuleKind::Sinusoider:
                out[run.output] = frames::sinusoid(out[run.a], out[run.b], s.sinusoiderTable);
                break;
        }
    }
    if (plan.wave) frames::wave(s);
}

// Runs `count` frames (at most kBatchFrames) and writes their bytes. The caller has made sure that a
// recording in progress has room for all of them.
void renderBatch(EngineState& s, RenderHost& host, const Plan& plan, int count) {
    // what each channel heard in each frame, captured once the frame's modules have run
    float heard[kMixerChannels][kBatchFrames];
    float heardPan[kMixerChannels][kBatchFrames];
    const SineView sine(s);
    for (int f = 0; f < count; ++f) {
        stepModules(s, plan, sine);
        for (int c = 0; c < plan.channelCount; ++c) {
            heard[c][f] = s.outValue[plan.channels[c].signal];
            if (plan.channels[c].kind == ChannelKind::AutoPanned)
                heardPan[c][f] = s.outValue[plan.channels[c].panSignal];
        }
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
