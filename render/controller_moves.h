#pragma once
// voltina-render --midi with a configuration that binds MIDI controllers: each control change of the MIDI
// file that a binding hears becomes the edit the panel makes of it, at its frame, so the render equals
// the one of an events file setting the same values at the same frames.
// Plain C++.

#include <vector>

#include "patch/controller_binding.h"
#include "render/offline_render.h"
#include "render/panel_events.h"

namespace voltina {

// `events` with the controllers' moves of `midi` put in at their frames, ahead of the events of the same
// frame (the MIDI messages of a frame come before its events, as in the render).
std::vector<PanelEvent> withControllerMoves(const ControllerBindings& bindings,
                                            const std::vector<TimedMidiMessage>& midi,
                                            const std::vector<PanelEvent>& events);

}  // namespace voltina
