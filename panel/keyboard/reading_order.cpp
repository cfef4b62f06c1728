#include "panel/keyboard/reading_order.h"

#include "resources/panel_template.h"

namespace voltina {

namespace {

std::vector<std::vector<int>> buildGroups() {
    std::vector<std::vector<int>> groups;
    for (int k = 0; k < 8; ++k) {
        // Knob, its four wave types (the top row, then the bottom row), the two outputs, the entry.
        groups.push_back({ctl::kOscKnob + k, ctl::kOscType0 + k, ctl::kOscType0 + 8 + k,
                          ctl::kOscType0 + 16 + k, ctl::kOscType0 + 24 + k, ctl::kFirstOutputJack + k,
                          ctl::kFirstOutputJack + 20 + k, ctl::kOscFreqButton + k});
    }
    // Each module: its two inputs, then its output.
    for (int m = 0; m < 3; ++m) groups.push_back({309 + 2 * m, 310 + 2 * m, 409 + m});  // accumulators
    for (int m = 0; m < 3; ++m) groups.push_back({315 + 2 * m, 316 + 2 * m, 412 + m});  // multipliers
    groups.push_back({ctl::kSync, ctl::kWave, ctl::kWaveOutputJack, ctl::kSpeaker});
    for (int m = 0; m < 3; ++m) groups.push_back({321 + 2 * m, 322 + 2 * m, 415 + m});  // sinusoiders
    groups.push_back({429, 430, 431});                                                  // MIDI voice
    for (int m = 0; m < 3; ++m) groups.push_back({327 + 2 * m, 328 + 2 * m, 418 + m});  // auto-pans
    groups.push_back({ctl::kRecord});
    for (int k = 0; k < 8; ++k)
        groups.push_back({ctl::kFirstInputJack + k, ctl::kMixLevelKnob + k, ctl::kMixPanKnob + k});
    return groups;
}

}  // namespace

const std::vector<std::vector<int>>& panelReadingGroups() {
    static const std::vector<std::vector<int>> groups = buildGroups();
    return groups;
}

}  // namespace voltina
