#include "panel/accessibility/control_names.h"

#include "engine/frequency_text.h"
#include "panel/patch_bay.h"
#include "patch/controls.h"
#include "patch/jack_number.h"
#include "resources/panel_template.h"

namespace voltina {

namespace {

std::string numbered(const char* what, int k) {
    return std::string(what) + " " + std::to_string(k + 1);
}

// The signs between a module's jacks, three of each (one per module), from ctl::kFirstSign: what the
// module does with its inputs, then what it gives.
struct SignWords {
    const char* module;
    const char* does;
};
constexpr SignWords kSigns[] = {
    {"Accumulator", "plus"},  {"Multiplier", "times"}, {"Sinusoider", "sine of"}, {"Auto-pan", "panned by"},
    {"Accumulator", "gives"}, {"Multiplier", "gives"}, {"Sinusoider", "gives"},   {"Auto-pan", "gives"},
};
static_assert(ctl::kLastSign - ctl::kFirstSign + 1 == kModulesPerGroup * 8, "three signs of each kind");

static_assert(controlRow(Control::Frequency).firstPanelId == ctl::kOscKnob &&
                  controlRow(Control::TypedFrequency).firstPanelId == ctl::kOscFreqButton &&
                  controlRow(Control::WaveType).firstPanelId == ctl::kOscType0 &&
                  controlRow(Control::Level).firstPanelId == ctl::kMixLevelKnob &&
                  controlRow(Control::Pan).firstPanelId == ctl::kMixPanKnob,
              "the table's controls are the template's");

// The control a knob turns: a row with a tick of its own.
const ControlRow* knobControl(int knobId, int& index) {
    int choice = 0;
    const ControlRow* row = panelControl(knobId, index, choice);
    return row != nullptr && row->tickEventName != nullptr ? row : nullptr;
}

}  // namespace

const char* waveTypeWord(int type) {
    const ControlRow& row = controlRow(Control::WaveType);
    return controlAllows(row, type) ? row.choiceWords[type] : "";
}

std::string controlName(int id) {
    int index = 0;
    int choice = 0;
    if (const ControlRow* row = panelControl(id, index, choice)) {
        const std::string owner = numbered(ownerNames(row->owner).spokenName, index);
        return row->spokenName != nullptr ? owner + " " + row->spokenName
                                          : owner + ", " + row->choiceWords[choice];
    }
    if (id >= ctl::kFirstSign && id <= ctl::kLastSign) {
        const int k = id - ctl::kFirstSign;
        const SignWords& sign = kSigns[k / kModulesPerGroup];
        return numbered(sign.module, k % kModulesPerGroup) + ", " + sign.does;
    }
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
    int index = 0;
    const ControlRow* row = knobControl(knobId, index);
    if (row == nullptr) return {};
    const double value = controlValue(*row, state, index);
    if (row->displayStep < 1) return formatFrequency(static_cast<float>(value)) + " " + row->unit;
    const int shown = static_cast<int>(controlShown(*row, value));
    // A control that shows both sides of its middle says which side.
    const bool signed_ = controlShown(*row, row->turnMinimum) < 0;
    return signed_ && shown > 0 ? "+" + std::to_string(shown) : std::to_string(shown);
}

std::string cordDescription(int jackId, const EngineState& state) {
    const JackNumber jack = JackNumber::of(jackId);
    if (jack.isInput()) {
        const int i = jack.index();
        if (!hasCord(state, i)) return "free";
        return "plugged from " + jackName(JackNumber::output(state.cordSource[i]).number());
    }
    if (jack.isOutput()) {
        const int o = jack.index();
        std::string into;
        for (int i = 0; i < kJacks; ++i) {
            if (!hasCord(state, i) || state.cordSource[i] != o) continue;
            into += (into.empty() ? "" : ", and ") + jackName(JackNumber::input(i).number());
        }
        return into.empty() ? "free" : "plugged into " + into;
    }
    return {};
}

}  // namespace voltina
