#pragma once
// The host's MIDI through the loaded configuration's controller bindings: a control change a binding
// hears sets its control as the panel's controller does, and the host is told the parameter's new value.
// Audio thread: nothing here allocates, locks or waits (the table was built with the patch, off it).

#include <cstdint>

#include "plugin/plugin_patch.h"

namespace voltina {

// The parameter that shows control `index` of `control` to the host, or -1.
int controlParameter(Control control, int index);

// Plays `packed` on `patch` when a binding hears it: the edit applied, the parameter's value kept. The
// parameter moved, or -1 when no binding heard the message (a note, say, which the caller plays).
int playController(LoadedPatch& patch, std::uint32_t packed);

}  // namespace voltina
