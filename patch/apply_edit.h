#pragma once
// The one function that makes an edit happen to the engine, with each gesture's own arithmetic (float
// storage, truncation toward zero, the order of the stores) exactly as the panel's controls have always
// done it. An edit that breaks a cord rule changes nothing.
// Plain C++; the thread that owns `s` (the GUI thread in the program, the renderer's thread offline).

#include "patch/cord_rules.h"
#include "patch/edit.h"

namespace voltina {

// What became of an edit: taken, or refused for the cord rule it broke, and then nothing changed. Only a
// plug and an edit that brings a whole patch's cords (a configuration, a restore) can be refused; every
// other edit is always taken.
struct EditResult {
    PlugRule rule = PlugRule::Allowed;  // the rule broken; Allowed for an edit taken
    bool taken() const { return rule == PlugRule::Allowed; }
};

EditResult applyEdit(EngineState& s, const Edit& edit);

// Types, frequencies, levels, pans and the cords (all others removed) as `p` has them, stored and no
// more: nothing derived, nothing restarted, the sample left alone. A configuration's first step.
void writePatchSettings(EngineState& s, const PanelPatch& p);

// Every input without a cord reads cordPresent 0 and cordSource kNoCord, whatever a load or a half-made
// cord left there. Cord edits do it; the patch bay's drawing passes do it too.
void tidyInputsWithoutCord(EngineState& s);

}  // namespace voltina
