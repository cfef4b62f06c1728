#include "resources/panel_template.h"

namespace voltina {
namespace {

void add(std::vector<ControlTemplate>& t, int id, ControlKind kind, DluRect r, const char* caption = "",
         bool tabStop = true, bool enabled = true, bool visible = true) {
    t.push_back({id, kind, r, caption, tabStop, enabled, visible});
}

std::vector<ControlTemplate> buildTemplate() {
    using K = ControlKind;
    std::vector<ControlTemplate> t;
    t.reserve(200);
    // Oscillator column: knob, frequency button, four type buttons, two outputs.
    for (int k = 0; k < 8; ++k) {
        const int y = 32 * k;
        add(t, 101 + k, K::Knob, {9, 12 + y, 21, 24});
        add(t, 109 + k, K::PushButton, {9, 36 + y, 41, 8});
        add(t, 117 + k, K::PictureButton, {30, 12 + y, 10, 12});
        add(t, 125 + k, K::PictureButton, {40, 12 + y, 10, 12});
        add(t, 133 + k, K::PictureButton, {30, 24 + y, 10, 12});
        add(t, 141 + k, K::PictureButton, {40, 24 + y, 10, 12});
        add(t, 401 + k, K::PictureButton, {51, 12 + y, 16, 16});
        add(t, 421 + k, K::PictureButton, {51, 28 + y, 16, 16});
    }
    // Mixer column: level knob, pan control, input.
    for (int k = 0; k < 8; ++k) {
        const int y = 32 * k;
        add(t, 149 + k, K::Knob, {333, 12 + y, 21, 24});
        add(t, 157 + k, K::Knob, {333, 36 + y, 21, 7});
        add(t, 301 + k, K::PictureButton, {317, 16 + y, 16, 16});
    }
    // The four module groups, three rows each; the signs are pictures that never take a click.
    for (int m = 0; m < 3; ++m) {
        const int top = 16 + 32 * m;   // accumulators and multipliers
        const int low = 167 + 32 * m;  // sinusoiders and panoramikers
        const int sTop = 19 + 32 * m;
        const int sLow = 170 + 32 * m;
        add(t, 309 + 2 * m, K::PictureButton, {101, top, 16, 16});
        add(t, 310 + 2 * m, K::PictureButton, {129, top, 16, 16});
        add(t, 409 + m, K::PictureButton, {157, top, 16, 16});
        add(t, 315 + 2 * m, K::PictureButton, {210, top, 16, 16});
        add(t, 316 + 2 * m, K::PictureButton, {238, top, 16, 16});
        add(t, 412 + m, K::PictureButton, {266, top, 16, 16});
        add(t, 321 + 2 * m, K::PictureButton, {101, low, 16, 16});
        add(t, 322 + 2 * m, K::PictureButton, {129, low, 16, 16});
        add(t, 415 + m, K::PictureButton, {157, low, 16, 16});
        add(t, 327 + 2 * m, K::PictureButton, {210, low, 16, 16});
        add(t, 328 + 2 * m, K::PictureButton, {238, low, 16, 16});
        add(t, 418 + m, K::PictureButton, {266, low, 16, 16});
        add(t, 429 + m, K::PictureButton, {183, low, 16, 16});
        add(t, 165 + m, K::PictureButton, {118, sTop, 10, 10}, "", true, false);
        add(t, 177 + m, K::PictureButton, {146, sTop, 10, 10}, "", true, false);
        add(t, 168 + m, K::PictureButton, {227, sTop, 10, 10}, "", true, false);
        add(t, 180 + m, K::PictureButton, {255, sTop, 10, 10}, "", true, false);
        add(t, 171 + m, K::PictureButton, {118, sLow, 10, 10}, "", true, false);
        add(t, 183 + m, K::PictureButton, {146, sLow, 10, 10}, "", true, false);
        add(t, 174 + m, K::PictureButton, {227, sLow, 10, 10}, "", true, false);
        add(t, 186 + m, K::PictureButton, {255, sLow, 10, 10}, "", true, false);
    }
    add(t, 189, K::PictureButton, {235, 113, 23, 22}, "H.P");
    add(t, 198, K::PushButton, {125, 113, 24, 22}, "Sync");
    add(t, 199, K::PushButton, {165, 106, 51, 12}, "Wave", false);
    add(t, 432, K::PictureButton, {184, 123, 16, 16});
    add(t, 200, K::PictureButton, {141, 252, 103, 15});
    add(t, 190, K::PushButton, {7, 1, 61, 9}, "OSCILLATORS", true, false);
    add(t, 191, K::PushButton, {100, 1, 75, 9}, "ACCUMULATORS", true, false);
    add(t, 192, K::PushButton, {209, 1, 75, 9}, "MULTIPLIERS", true, false);
    add(t, 193, K::PushButton, {312, 1, 47, 9}, "MIXER", true, false);
    add(t, 194, K::PushButton, {101, 153, 75, 9}, "SINUSOÏDERS", true, false);
    add(t, 195, K::PushButton, {209, 153, 75, 9}, "PANORAMIKERS", true, false);
    add(t, 196, K::PushButton, {181, 153, 21, 9}, "MIDI", true, false);
    add(t, 197, K::StaticText, {290, 84, 19, 11}, "", false, true, false);
    return t;
}

}  // namespace

const std::vector<ControlTemplate>& panelTemplate() {
    static const std::vector<ControlTemplate> table = buildTemplate();
    return table;
}

}  // namespace voltina
