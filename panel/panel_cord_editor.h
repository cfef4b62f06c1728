#pragma once
// The cord editor the program gives its panel: the patch bay over the real panel's jacks, lamps,
// messages, cursor and sample choice, with the cord overlay on top of every control.
// GUI thread only.

#include <memory>

#include "panel/cord_editor.h"

namespace voltina {

class PatchBay;
class SynthPanel;

// Hand the result to SynthPanel::setCordEditor.
std::unique_ptr<CordEditor> makePanelCordEditor(SynthPanel& panel);

// The patch bay behind an editor made by makePanelCordEditor, or null for any other editor.
PatchBay* patchBayOf(CordEditor* editor);

}  // namespace voltina
