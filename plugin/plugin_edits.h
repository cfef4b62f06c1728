#pragma once
// The window's edits as the plugin receives them, and the panel as the plugin shows it to the window:
// fixed-size bodies of atoms (the window's edits on the control port, the panel on the notify port), so
// run() takes them in at their frame without allocating, and the same bytes travel on the window's link.
//
// An edit is the very Edit the panel makes: the knobs, types, cords, Sync and "No wave" carry its
// numbers; Undo, Redo and a configuration loaded in the window carry the whole patch's settings and
// whether it has a sample. A sample itself never travels: the plugin's is the one it was started with.
// Plain C++; any thread (the functions only read their arguments and write their results).

#include <cstdint>
#include <string>

#include "engine/engine_state.h"
#include "patch/edit.h"

namespace voltina {

struct EditBody {
    std::int32_t kind = 0;
    std::int32_t index = 0;
    std::int32_t input = 0;
    std::int32_t output = 0;
    std::int32_t value = 0;
    float amount = 0.0f;
};

// A patch's settings: what the window shows, and what Undo, Redo and a configuration load bring back.
struct PanelBody {
    std::int32_t oscType[kOscillators] = {};
    float oscFreq[kOscillators] = {};
    std::int32_t mixLevel[kMixerChannels] = {};
    std::int32_t mixPan[kMixerChannels] = {};
    std::int32_t cordSource[kJacks] = {};  // per input: the output its cord comes from, or kNoCord
    std::int32_t rateParam = 0;            // the engine's (the plugin's panel); no edit changes it
    // Whether the Wave player holds a sample: the plugin's own, which the window cannot send; a whole
    // patch with one brings back the sample the plugin was started with.
    std::int32_t hasSample = 0;
};

struct PatchEditBody {
    std::int32_t kind = 0;  // Restore or LoadConfiguration
    PanelBody panel;
};

// The body of an edit that carries its own numbers; false for the kinds that bring a patch or a sample.
bool editBody(const Edit& edit, EditBody& out);
// The edit a body names; false with the reason for a kind that is not one of those.
bool editFromBody(const EditBody& body, Edit& out, std::string* why = nullptr);

PanelBody panelBody(const EngineState& s);
// The settings into `out` (its sample and names left alone); false with the reason when a value is out
// of its control's range or a cord breaks the patch bay's rules, and then `out` is whatever it was.
bool panelFromBody(const PanelBody& body, PanelPatch& out, std::string* why = nullptr);
bool samePanel(const PanelBody& a, const PanelBody& b);

// Restore and LoadConfiguration, whose patch the body carries; false for any other edit.
bool patchEditBody(const Edit& edit, PatchEditBody& out);
bool isPatchEditKind(std::int32_t kind);

}  // namespace voltina
