#pragma once
// The panel's template (FEN_PRINC): every control with its id, kind and place in dialog units.

#include <vector>

#include "resources/dialog_units.h"

namespace voltina {

constexpr int kPanelWidthDlu = 365;
constexpr int kPanelHeightDlu = 272;

enum class ControlKind {
    Knob,           // bound to Knob
    PictureButton,  // bound to PictureButton
    PushButton,     // a plain push button
    StaticText,     // centred text with a border
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    DluRect place;
    const char* caption;
    bool tabStop;
    bool enabled;
    bool visible;
};

// In template order: the order in which controls are created, which is also their stacking order.
const std::vector<ControlTemplate>& panelTemplate();

// Control ids of the panel (k = 0..7 for oscillators and mixer channels, m = 0..2 for module rows).
namespace ctl {
constexpr int kOscKnob = 101;        // + k
constexpr int kOscFreqButton = 109;  // + k
constexpr int kOscType0 = 117;       // + k, then 125, 133, 141 for types 1..3
constexpr int kMixLevelKnob = 149;   // + k
constexpr int kMixPanKnob = 157;     // + k
constexpr int kFirstSign = 165;      // 165..188
constexpr int kLastSign = 188;
constexpr int kSpeaker = 189;  // H.P
constexpr int kFirstCaption = 190;
constexpr int kLastCaption = 196;
constexpr int kValueTip = 197;
constexpr int kSync = 198;
constexpr int kWave = 199;
constexpr int kRecord = 200;
constexpr int kFirstInputJack = 301;   // ..332
constexpr int kFirstOutputJack = 401;  // ..432
constexpr int kWaveOutputJack = 432;
}  // namespace ctl

}  // namespace voltina
