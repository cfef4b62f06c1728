#include "engine/batch_plan.h"

#include "engine/mixer_terms.h"
#include "engine/module_frames.h"

namespace voltina::batch {

namespace {

// Where a jack's values come from within a batch.
constexpr int kNoStep = -2;          // nothing writes it: constant
constexpr int kSource = -1;          // an oscillator or the MIDI voice, ahead of every module
constexpr int kWaveStep = kModules;  // the Wave player, after every module
constexpr int kMixerStep = kModules + 1;

struct Producers {
    int step[kJacks];    // kNoStep, kSource, kWaveStep or the module's place in the fixed order
    int column[kJacks];  // the column holding its values: jack B's are jack A's
};

// What the step at `reader` hears of a jack: an earlier step's value of this frame, its own or a later
// step's of the frame before, or the value of a jack that nothing writes.
struct Hearing {
    const Producers& producers;
    Columns& columns;
    bool heard[kJacks];

    const float* column(int jack, int reader) {
        heard[jack] = true;
        const int step = producers.step[jack];
        const bool previous = step != kNoStep && step != kSource && step >= reader;
        return &columns.jack[producers.column[jack]][previous ? 0 : 1];
    }
};

void planOscillators(const EngineState& s, Plan& plan, Columns& columns) {
    for (OscillatorGroup* group : {&plan.sines, &plan.squares, &plan.sawtooths, &plan.randoms, &plan.others})
        group->count = 0;
    for (int i = 0; i < kOscillators; ++i) {
        if (!oscillatorPatched(s, i)) continue;
        OscillatorGroup& group = s.oscType[i] == kSine       ? plan.sines
                                 : s.oscType[i] == kSquare   ? plan.squares
                                 : s.oscType[i] == kSawtooth ? plan.sawtooths
                                 : s.oscType[i] == kRandom   ? plan.randoms
                                                             : plan.others;
        group.runs[group.count++] = {i, columns.jack[kOutOscA + i] + 1, s.oscFreq[i],
                                     frames::slowedFrequency(s.oscFreq[i]), s.oscFreq[i]};
    }
}

Producers findProducers(const EngineState& s, const Plan& plan, const bool (&runs)[kModules],
                        const ModuleRun (&modules)[kModules]) {
    Producers p;
    for (int j = 0; j < kJacks; ++j) {
        p.step[j] = kNoStep;
        p.column[j] = j;
    }
    for (const OscillatorGroup* group :
         {&plan.sines, &plan.squares, &plan.sawtooths, &plan.randoms, &plan.others}) {
        for (int o = 0; o < group->count; ++o) {
            const int i = group->runs[o].index;
            p.step[kOutOscA + i] = kSource;
            p.step[kOutOscB + i] = kSource;
            p.column[kOutOscB + i] = kOutOscA + i;
        }
    }
    if (plan.midi) {
        for (int j : {kOutMidiSine, kOutMidiSquare, kOutMidiSaw})
            if (outputPatched(s, j)) p.step[j] = kSource;
    }
    for (int m = 0; m < kModules; ++m)
        if (runs[m]) p.step[modules[m].output] = m;
    if (plan.wave) p.step[kOutWave] = kWaveStep;
    return p;
}

// Splits the running modules into the three stretches of the plan and gives the loop modules their
// slots. reads[m] holds the running modules that module m hears.
void orderModules(Plan& plan, const ModuleRun (&modules)[kModules], unsigned running,
                  const unsigned (&reads)[kModules]) {
    // what each module depends on, through any number of steps
    unsigned depends[kModules];
    for (int m = 0; m < kModules; ++m) depends[m] = reads[m];
    for (int via = 0; via < kModules; ++via)
        for (int m = 0; m < kModules; ++m)
            if (depends[m] & (1u << via)) depends[m] |= depends[via];

    unsigned loop = 0;
    for (int m = 0; m < kModules; ++m) {
        const unsigned bit = 1u << m;
        const bool feedsBack = modules[m].kind == ModuleKind::Accumulator || (depends[m] & bit);
        if ((running & bit) && feedsBack) loop |= bit;
    }
    // A module on a path from the loop back into the loop must run inside it.
    unsigned between = 0;
    for (int m = 0; m < kModules; ++m) {
        if (!(running & (1u << m)) || (loop & (1u << m)) || !(depends[m] & loop)) continue;
        for (int n = 0; n < kModules; ++n)
            if ((loop & (1u << n)) && (depends[n] & (1u << m))) between |= 1u << m;
    }
    loop |= between;

    // Outside the loop, a module runs once everything it hears has run.
    plan.moduleCount = 0;
    unsigned done = 0;
    auto runReady = [&](unsigned allowed) {
        for (bool progress = true; progress;) {
            progress = false;
            for (int m = 0; m < kModules; ++m) {
                const unsigned bit = 1u << m;
                if (!(allowed & bit) || (done & bit) || (reads[m] & ~done)) continue;
                plan.modules[plan.moduleCount++] = modules[m];
                done |= bit;
                progress = true;
            }
        }
    };
    unsigned hearsLoop = 0;
    for (int m = 0; m < kModules; ++m)
        if (depends[m] & loop) hearsLoop |= 1u << m;
    const unsigned outside = running & ~loop;
    runReady(outside & ~hearsLoop);

    // An accumulator that hears nothing of the loop, through any path, has no turn to wait for: it
    // runs first in each of the loop's frames, and whatever hears it reads its column.
    unsigned lone = 0;
    for (int m = 0; m < kModules; ++m) {
        const unsigned bit = 1u << m;
        if ((loop & bit) && modules[m].kind == ModuleKind::Accumulator && !(depends[m] & loop)) lone |= bit;
    }
    plan.loopBegin = plan.moduleCount;
    for (int m = 0; m < kModules; ++m)
        if (lone & (1u << m)) plan.modules[plan.moduleCount++] = modules[m];
    plan.loneEnd = plan.moduleCount;
    const unsigned chained = loop & ~lone;
    int slot[kModules] = {};
    for (int m = 0; m < kModules; ++m) {
        if (!(chained & (1u << m))) continue;
        slot[m] = plan.moduleCount - plan.loneEnd;
        plan.modules[plan.moduleCount++] = modules[m];
    }
    plan.loopEnd = plan.moduleCount;
    for (int n = plan.loneEnd; n < plan.loopEnd; ++n) {
        ModuleRun& run = plan.modules[n];
        for (int m = 0; m < kModules; ++m) {
            if (!(chained & (1u << m))) continue;
            if (run.sourceA == modules[m].output) run.slotA = slot[m];
            if (run.sourceB == modules[m].output) run.slotB = slot[m];
        }
    }
    done |= loop;
    runReady(outside);
}

// The mixer comes after every step: it hears every jack's value of the frame.
void planMixer(const EngineState& s, Plan& plan, Hearing& hearing) {
    plan.channelCount = 0;
    for (int ch = 0; ch < kMixerChannels; ++ch) {
        if (s.cordPresent[kInMixer + ch] != 1) continue;
        const int source = s.cordSource[kInMixer + ch];
        ChannelRun run{};
        run.level = s.mixLevel[ch];
        run.rightWeight = s.mixPan[ch];
        run.leftWeight = 100 - run.rightWeight;
        run.levelInFloat = frames::levelScalesInFloat(run.level);
        run.scale = static_cast<float>(run.level) * 0.0078125f;
        if (stereoOutput(s) && isPanoramikerOutput(source)) {
            const int signalIn = panoramikerSignalInput(source);
            const int panIn = panoramikerPanInput(source);
            // an auto-pan without both of its inputs neither sounds nor counts
            if (!hasCord(s, signalIn) || !hasCord(s, panIn)) continue;
            run.kind = ChannelKind::AutoPanned;
            run.signal = hearing.column(s.cordSource[signalIn], kMixerStep);
            run.pan = hearing.column(s.cordSource[panIn], kMixerStep);
        } else {
            if (source < 0 || source >= kJacks) continue;  // a cord marked present without a real source
            run.kind = stereoOutput(s) ? ChannelKind::Weighted : ChannelKind::Mono;
            run.signal = hearing.column(source, kMixerStep);
            run.pan = run.signal;
        }
        plan.channels[plan.channelCount++] = run;
    }
}

}  // namespace

void makePlan(const EngineState& s, Plan& plan, Columns& columns) {
    planOscillators(s, plan, columns);
    plan.midi = midiVoiceSounding(s);
    plan.wave = outputPatched(s, kOutWave) && s.waveSample;

    bool runs[kModules] = {};
    ModuleRun modules[kModules] = {};
    for (int k = 0; k < kModulesPerGroup; ++k) {
        const int outputs[3] = {kOutAccumulator + k, kOutMultiplier + k, kOutSinusoider + k};
        const int inputs[3] = {kInAccumulator + 2 * k, kInMultiplier + 2 * k, kInSinusoider + 2 * k};
        const ModuleKind kinds[3] = {ModuleKind::Accumulator, ModuleKind::Multiplier, ModuleKind::Sinusoider};
        for (int t = 0; t < 3; ++t) {
            const int m = 3 * k + t;
            runs[m] = moduleRuns(s, outputs[t], inputs[t]);
            modules[m] = {kinds[t], outputs[t], s.cordSource[inputs[t]],  s.cordSource[inputs[t] + 1],
                          nullptr,  nullptr,    columns.jack[outputs[t]], -1,
                          -1};
        }
    }
    const Producers producers = findProducers(s, plan, runs, modules);

    Hearing hearing{producers, columns, {}};

    unsigned running = 0;
    unsigned reads[kModules] = {};
    for (int m = 0; m < kModules; ++m) {
        if (!runs[m]) continue;
        running |= 1u << m;
        modules[m].a = hearing.column(modules[m].sourceA, m);
        modules[m].b = hearing.column(modules[m].sourceB, m);
        for (int source : {modules[m].sourceA, modules[m].sourceB}) {
            const int step = producers.step[source];
            if (step >= 0 && step < kModules) reads[m] |= 1u << step;
        }
    }
    orderModules(plan, modules, running, reads);

    plan.slowedCount = 0;
    for (int m = 0; m < kModules; m += 3) {  // the accumulators
        if (!runs[m]) continue;
        for (int source : {modules[m].sourceA, modules[m].sourceB}) {
            const int osc = frames::slowedOscillator(source);
            if (osc >= 0) plan.slowed[plan.slowedCount++] = osc;
        }
    }
    // The accumulators run every frame, so from a batch's second frame on, an oscillator that one of
    // them reads is always slowed and any other never is.
    for (OscillatorGroup* group : {&plan.sines, &plan.randoms}) {
        for (int o = 0; o < group->count; ++o) {
            OscillatorRun& run = group->runs[o];
            for (int n = 0; n < plan.slowedCount; ++n)
                if (plan.slowed[n] == run.index) run.steadyFreq = run.slowFreq;
        }
    }

    planMixer(s, plan, hearing);

    plan.constantCount = 0;
    for (int j = 0; j < kJacks; ++j) {
        if (hearing.heard[j] && producers.step[j] == kNoStep) plan.constants[plan.constantCount++] = j;
        plan.writtenColumn[j] = producers.step[j] == kNoStep ? -1 : producers.column[j];
    }
}

}  // namespace voltina::batch
