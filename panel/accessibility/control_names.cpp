#include "panel/accessibility/control_names.h"

#include "engine/frequency_text.h"
#include "panel/patch_bay.h"
#include "resources/panel_template.h"

namespace voltina {

namespace {

std::string numbered(const char* what, int k) {
    return std::string(what) + " " + std::to_string(k + 1);
}

bool inRange(int id, int first, int count) {
    return id >= first && id < first + count;
}

}  // namespace

const char* waveTypeWord(int type) {
    static const char* const kWords[] = {"sine", "pulse", "ramp", "random"};
    return type >= 0 && type < 4 ? kWords[type] : "";
}

std::string controlName(int id) {
    if (inRange(id, ctl::kOscKnob, kOscillators))
        return numbered("Oscillator", id - ctl::kOscKnob) + " frequency";
    if (inRange(id, ctl::kOscFreqButton, kOscillators))
        return numbered("Oscillator", id - ctl::kOscFreqButton) + " frequency entry";
    if (inRange(id, ctl::kOscType0, 4 * kOscillators)) {
        const int k = id - ctl::kOscType0;
        return numbered("Oscillator", k % kOscillators) + ", " + waveTypeWord(k / kOscillators);
    }
    if (inRange(id, ctl::kMixLevelKnob, kMixerChannels))
        return numbered("Mixer channel", id - ctl::kMixLevelKnob) + " level";
    if (inRange(id, ctl::kMixPanKnob, kMixerChannels))
        return numbered("Mixer channel", id - ctl::kMixPanKnob) + " pan";
    // The signs between a module's jacks: what the module does with its inputs.
    if (inRange(id, 165, 3)) return numbered("Accumulator", id - 165) + ", plus";
    if (inRange(id, 168, 3)) return numbered("Multiplier", id - 168) + ", times";
    if (inRange(id, 171, 3)) return numbered("Sinusoider", id - 171) + ", sine of";
    if (inRange(id, 174, 3)) return numbered("Auto-pan", id - 174) + ", panned by";
    if (inRange(id, 177, 3)) return numbered("Accumulator", id - 177) + ", gives";
    if (inRange(id, 180, 3)) return numbered("Multiplier", id - 180) + ", gives";
    if (inRange(id, 183, 3)) return numbered("Sinusoider", id - 183) + ", gives";
    if (inRange(id, 186, 3)) return numbered("Auto-pan", id - 186) + ", gives";
    switch (id) {
        case ctl::kSpeaker:
            return "H.P, sound on";
        case ctl::kSync:
            return "Sync";
        case ctl::kWave:
            return "Wave sample";
        case ctl::kRecord:
            return "Record";
        default:
            return {};
    }
}

std::string knobValueText(int knobId, const EngineState& state) {
    if (inRange(knobId, ctl::kOscKnob, kOscillators))
        return formatFrequency(state.oscFreq[knobId - ctl::kOscKnob]) + " Hz";
    if (inRange(knobId, ctl::kMixLevelKnob, kMixerChannels))
        return std::to_string(state.mixLevel[knobId - ctl::kMixLevelKnob]);
    if (inRange(knobId, ctl::kMixPanKnob, kMixerChannels)) {
        const int pan = (state.mixPan[knobId - ctl::kMixPanKnob] - 50) / 5;
        return pan > 0 ? "+" + std::to_string(pan) : std::to_string(pan);
    }
    return {};
}

std::string cordDescription(int jackId, const EngineState& state) {
    if (inRange(jackId, kFirstInputJackId, kJacks)) {
        const int i = jackId - kFirstInputJackId;
        if (!hasCord(state, i)) return "free";
        return "plugged from " + jackName(kFirstOutputJackId + state.cordSource[i]);
    }
    if (inRange(jackId, kFirstOutputJackId, kJacks)) {
        const int o = jackId - kFirstOutputJackId;
        std::string into;
        for (int i = 0; i < kJacks; ++i) {
            if (!hasCord(state, i) || state.cordSource[i] != o) continue;
            into += (into.empty() ? "" : ", and ") + jackName(kFirstInputJackId + i);
        }
        return into.empty() ? "free" : "plugged into " + into;
    }
    return {};
}

}  // namespace voltina
