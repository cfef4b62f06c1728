#include "patch/controls.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>

namespace voltina {

namespace {

int choiceCount(const ControlRow& row) {
    int n = 0;
    while (row.choiceNames != nullptr && row.choiceNames[n] != nullptr) ++n;
    return n;
}

constexpr bool rowsInOrder() {
    for (int k = 0; k < static_cast<int>(std::size(kControls)); ++k) {
        if (static_cast<int>(kControls[k].control) != k) return false;
    }
    return true;
}
static_assert(rowsInOrder(), "controlRow finds a row by its place");

}  // namespace

std::string controlNumber(double value) {
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

std::string controlRule(const ControlRow& row) {
    const std::string name = std::string(row.eventName) + " must be ";
    if (row.choiceNames != nullptr) {
        std::string names;
        const int n = choiceCount(row);
        for (int k = 0; k < n; ++k) {
            names += k == 0 ? "" : k + 1 == n ? " or " : ", ";
            names += std::string("\"") + row.choiceNames[k] + "\"";
        }
        return name + names;
    }
    const std::string range = controlNumber(row.minimum) + " to " + controlNumber(row.maximum);
    if (row.aboveMinimum)
        return name + "above " + controlNumber(row.minimum) + " and at most " + controlNumber(row.maximum);
    if (row.step == 1) return name + "a whole number from " + range;
    return name + "a multiple of " + controlNumber(row.step) + " from " + range;
}

bool controlAllows(const ControlRow& row, double value) {
    if (!(row.aboveMinimum ? value > row.minimum : value >= row.minimum) || !(value <= row.maximum))
        return false;
    return row.step == 0 || std::fmod(value - row.minimum, row.step) == 0;
}

double controlHeld(const ControlRow& row, double value) {
    if (!(value >= row.minimum)) return row.minimum;
    if (value >= row.maximum) return row.maximum;
    return row.step == 0 ? value : std::trunc(value);
}

int controlChoiceNamed(const ControlRow& row, const std::string& name) {
    for (int k = 0; k < choiceCount(row); ++k) {
        if (name == row.choiceNames[k]) return k;
    }
    return -1;
}

const char* controlChoiceName(const ControlRow& row, int value) {
    return row.choiceNames[value >= 0 && value < choiceCount(row) ? value : 0];
}

double controlValue(const ControlRow& row, const EngineState& s, int index) {
    switch (row.control) {
        case Control::WaveType:
            return s.oscType[index];
        case Control::Frequency:
        case Control::TypedFrequency:
            return static_cast<double>(s.oscFreq[index]);
        case Control::Level:
            return s.mixLevel[index];
        case Control::Pan:
            break;
    }
    return s.mixPan[index];
}

Edit controlEdit(const ControlRow& row, int index, double value) {
    switch (row.control) {
        case Control::WaveType:
            return Edit::waveType(index, static_cast<int>(controlHeld(row, value)));
        case Control::Frequency:
            return Edit::frequency(index, static_cast<float>(controlHeld(row, value)));
        case Control::TypedFrequency: {
            // Stored as the typed text's float; anything that is not a positive finite number changes
            // nothing, exactly as such a typed entry does. Far beyond the maximum the float would overflow.
            const float f =
                std::isfinite(value) && value > 0.0 ? static_cast<float>(std::min(value, 1e6)) : 0.0f;
            return Edit::typedFrequency(index, f);
        }
        case Control::Level:
            return Edit::level(index, static_cast<int>(controlHeld(row, value)));
        case Control::Pan:
            break;
    }
    return Edit::pan(index, static_cast<int>(controlHeld(row, value)));
}

double controllerValue(const ControlRow& row, int value, int full) {
    if (full <= 0) return row.minimum;
    const long long v = std::clamp(value, 0, full);
    switch (row.controllerScale) {
        case ControllerScale::Steps: {
            // round(v x steps / full) in whole numbers: no tie can fall between two steps.
            const long long steps = std::llround((row.maximum - row.minimum) / row.step);
            return row.minimum + row.step * static_cast<double>((2 * v * steps + full) / (2 * full));
        }
        case ControllerScale::Exponential: {
            if (v == full) return row.turnMaximum;
            const double f = row.turnMinimum * std::pow(row.turnMaximum / row.turnMinimum,
                                                        static_cast<double>(v) / static_cast<double>(full));
            return std::clamp(std::round(f / row.displayStep) * row.displayStep, row.turnMinimum,
                              row.turnMaximum);
        }
        case ControllerScale::Bands:
            return static_cast<double>(v * choiceCount(row) / (full + 1));
        case ControllerScale::None:
            break;
    }
    return row.minimum;
}

double controlShown(const ControlRow& row, double value) {
    const double shown = (value - row.displayOrigin) / row.displayPer;
    // Whole steps show truncated, as the knob's integer arithmetic did; + 0.0 keeps -0 from showing.
    return row.displayStep >= 1 ? std::trunc(shown) + 0.0 : shown;
}

double controlFromShown(const ControlRow& row, double shown) {
    return row.displayOrigin + row.displayPer * shown;
}

const ControlRow* panelControl(int panelId, int& index, int& choice) {
    for (const ControlRow& row : kControls) {
        const int owners = ownerNames(row.owner).count;
        const int k = panelId - row.firstPanelId;
        if (k < 0 || k >= owners * std::max(1, choiceCount(row))) continue;
        index = k % owners;
        choice = k / owners;
        return &row;
    }
    return nullptr;
}

}  // namespace voltina
