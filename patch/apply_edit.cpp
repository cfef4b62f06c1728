#include "patch/apply_edit.h"

#include <algorithm>
#include <cstring>

#include "engine/defaults.h"
#include "engine/oscillator.h"
#include "patch/controls.h"
#include "patch/cord_rules.h"

namespace voltina {

namespace {

bool validOscillator(int i) {
    return i >= 0 && i < kOscillators;
}
bool validChannel(int i) {
    return i >= 0 && i < kMixerChannels;
}
bool validJack(int j) {
    return j >= 0 && j < kJacks;
}

void removeSample(EngineState& s) {
    s.waveSample.reset();
    // Without a sample the player's output falls silent, as before any sample was loaded; left holding
    // its last value it would add a constant offset to the mix.
    s.outValue[kOutWave] = 0.0f;
}

void installSample(EngineState& s, const std::shared_ptr<SampleRecord>& sample) {
    if (!sample) {
        removeSample(s);
        return;
    }
    s.waveSample = sample;
    s.wavePos = 0;
}

// A patch's cords obey the rules when no output feeds two inputs and the auto-pans feed only the mixer.
PlugRule patchCordsRule(const PanelPatch& p) {
    bool used[kJacks] = {};
    for (int in = 0; in < kJacks; ++in) {
        const int out = p.cordSource[static_cast<std::size_t>(in)];
        if (out == kNoCord) continue;
        if (!validJack(out)) return PlugRule::NoSuchJack;
        if (used[out]) return PlugRule::OutputTaken;
        if (autoPanOutsideMixer(out, in)) return PlugRule::AutoPanOutsideMixer;
        used[out] = true;
    }
    return PlugRule::Allowed;
}

void setCords(EngineState& s, const PanelPatch& p) {
    clearCords(s);
    for (int in = 0; in < kJacks; ++in) {
        const int out = p.cordSource[static_cast<std::size_t>(in)];
        if (out != kNoCord) plugCord(s, out, in);
    }
}

bool sameCords(const EngineState& s, const PanelPatch& p) {
    for (int in = 0; in < kJacks; ++in) {
        const int now = hasCord(s, in) ? s.cordSource[in] : kNoCord;
        if (now != p.cordSource[static_cast<std::size_t>(in)]) return false;
    }
    return true;
}

const ControlRow& kFrequencyRow = controlRow(Control::Frequency);
const ControlRow& kTypedRow = controlRow(Control::TypedFrequency);
const ControlRow& kLevelRow = controlRow(Control::Level);
const ControlRow& kPanRow = controlRow(Control::Pan);

// A whole-numbered control's value held to its knob's range.
int heldWhole(const ControlRow& row, int value) {
    return std::clamp(value, static_cast<int>(row.turnMinimum), static_cast<int>(row.turnMaximum));
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void frequencyKnob(EngineState& s, int i, float step) {
    float f = s.oscFreq[i] + step;
    if (static_cast<double>(f) < kFrequencyRow.turnMinimum) f = static_cast<float>(kFrequencyRow.turnMinimum);
    if (static_cast<double>(f) > kFrequencyRow.turnMaximum) f = static_cast<float>(kFrequencyRow.turnMaximum);
    s.oscFreq[i] = f;
    // A sine reads its frequency every frame; the other waves keep values derived from it.
    if (s.oscType[i] != kSine) deriveOscillator(s, i, s.oscType[i]);
}

void levelKnob(EngineState& s, int channel, float step) {
    int& level = s.mixLevel[channel];
    const float turned = static_cast<float>(level) + step;
    if (!(turned == turned)) return;  // NaN turns nothing
    // Truncated toward zero, then held to the knob's range; far outside it the truncation alone
    // would overflow.
    const int v = turned <= -1000.0f  ? static_cast<int>(kLevelRow.turnMinimum)
                  : turned >= 1000.0f ? static_cast<int>(kLevelRow.turnMaximum)
                                      : static_cast<int>(turned);
    level = heldWhole(kLevelRow, v);
}

void loadConfiguration(EngineState& s, const PanelPatch& p) {
    writePatchSettings(s, p);
    installSample(s, p.sample);
    // The panel's refresh after a load: every oscillator derived, then all restarted together.
    for (int osc = 0; osc < kOscillators; ++osc) deriveOscillator(s, osc, s.oscType[osc]);
    tidyInputsWithoutCord(s);
    syncReset(s);
}

// Only what differs is touched: deriving an oscillator that did not change would restart a random
// wave's hold, and the sound is meant to go on.
void restore(EngineState& s, const PanelPatch& p) {
    for (int i = 0; i < kOscillators; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        if (s.oscType[i] != p.oscType[k]) {
            deriveOscillator(s, i, p.oscType[k]);
            s.oscType[i] = p.oscType[k];
        }
        if (!sameBits(s.oscFreq[i], p.oscFreq[k])) {
            s.oscFreq[i] = p.oscFreq[k];
            deriveOscillator(s, i, s.oscType[i]);
        }
    }
    for (int i = 0; i < kMixerChannels; ++i) {
        s.mixLevel[i] = p.mixLevel[static_cast<std::size_t>(i)];
        s.mixPan[i] = p.mixPan[static_cast<std::size_t>(i)];
    }
    if (!sameCords(s, p)) setCords(s, p);
    tidyInputsWithoutCord(s);
    if (s.waveSample != p.sample) installSample(s, p.sample);
}

}  // namespace

void writePatchSettings(EngineState& s, const PanelPatch& p) {
    for (int i = 0; i < kOscillators; ++i) {
        s.oscType[i] = p.oscType[static_cast<std::size_t>(i)];
        s.oscFreq[i] = p.oscFreq[static_cast<std::size_t>(i)];
    }
    for (int i = 0; i < kMixerChannels; ++i) {
        s.mixLevel[i] = p.mixLevel[static_cast<std::size_t>(i)];
        s.mixPan[i] = p.mixPan[static_cast<std::size_t>(i)];
    }
    setCords(s, p);
}

void tidyInputsWithoutCord(EngineState& s) {
    for (int i = 0; i < kJacks; ++i) {
        if (hasCord(s, i)) continue;
        s.cordPresent[i] = 0;
        s.cordSource[i] = kNoCord;
    }
}

EditResult applyEdit(EngineState& s, const Edit& e) {
    switch (e.kind) {
        case EditKind::FrequencyKnob:
            if (validOscillator(e.index)) frequencyKnob(s, e.index, e.amount);
            break;
        case EditKind::TypedFrequency:
            // Text that is not a number reads as 0 and, like zero or a negative value, changes nothing.
            if (validOscillator(e.index) && static_cast<double>(e.amount) > kTypedRow.minimum) {
                s.oscFreq[e.index] = std::min(e.amount, static_cast<float>(kTypedRow.maximum));
                deriveOscillator(s, e.index, s.oscType[e.index]);
            }
            break;
        case EditKind::Frequency:
            if (validOscillator(e.index) && controlAllows(kFrequencyRow, static_cast<double>(e.amount))) {
                s.oscFreq[e.index] = e.amount;
                deriveOscillator(s, e.index, s.oscType[e.index]);
            }
            break;
        case EditKind::WaveType:
            if (validOscillator(e.index) && controlAllows(controlRow(Control::WaveType), e.value)) {
                // Derived for the new wave before it sounds: the type is stored last.
                deriveOscillator(s, e.index, e.value);
                s.oscType[e.index] = e.value;
            }
            break;
        case EditKind::LevelKnob:
            if (validChannel(e.index)) levelKnob(s, e.index, e.amount);
            break;
        case EditKind::Level:
            if (validChannel(e.index)) s.mixLevel[e.index] = heldWhole(kLevelRow, e.value);
            break;
        case EditKind::PanKnob:
            if (validChannel(e.index)) {
                const int step = static_cast<int>(kPanRow.step);
                int& pan = s.mixPan[e.index];
                pan = e.value > 0 ? std::min(pan + step, static_cast<int>(kPanRow.turnMaximum))
                                  : std::max(pan - step, static_cast<int>(kPanRow.turnMinimum));
            }
            break;
        case EditKind::Pan:
            if (validChannel(e.index)) {
                const int step = static_cast<int>(kPanRow.step);
                s.mixPan[e.index] = heldWhole(kPanRow, e.value / step * step);
            }
            break;
        case EditKind::Plug: {
            const PlugRule rule = plugRule(s, e.output, e.input);
            if (rule != PlugRule::Allowed) return {rule};
            plugCord(s, e.output, e.input);
            tidyInputsWithoutCord(s);
            break;
        }
        case EditKind::UnplugAtInput:
            if (validJack(e.input)) {
                // The output keeps no plug either: a half-made cord is dead at both ends.
                const int o = s.cordSource[e.input];
                s.cordPresent[e.input] = 0;
                if (validJack(o)) s.outputUsed[o] = 0;
                tidyInputsWithoutCord(s);
            }
            break;
        case EditKind::UnplugAtOutput:
            if (validJack(e.output)) {
                s.outputUsed[e.output] = 0;
                s.outValue[e.output] = 0.0f;
                const int fed = inputFedBy(s, e.output);
                if (fed != kNoCord) s.cordPresent[fed] = 0;
                tidyInputsWithoutCord(s);
            }
            break;
        case EditKind::Sync:
            syncReset(s);
            break;
        case EditKind::LoadSample:
            installSample(s, e.patch ? e.patch->sample : nullptr);
            break;
        case EditKind::RemoveSample:
            removeSample(s);
            break;
        case EditKind::LoadConfiguration:
        case EditKind::Restore: {
            if (!e.patch) break;
            const PlugRule rule = patchCordsRule(*e.patch);
            if (rule != PlugRule::Allowed) return {rule};
            if (e.kind == EditKind::Restore) {
                restore(s, *e.patch);
            } else {
                loadConfiguration(s, *e.patch);
            }
            break;
        }
        case EditKind::Controllers:
            break;
    }
    return {};
}

}  // namespace voltina
