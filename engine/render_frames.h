#pragma once
// The engine's render call: whoever needs frames pulls the next ones from it. voltina-render and the
// plugin write them out as they come; the live program writes them into the ring a device plays
// (audio/ring_render.h). Every caller gets the same bytes for the same frames, however it splits them.

#include <cstddef>
#include <cstdint>

#include "engine/engine_state.h"
#include "engine/jack_tap.h"

namespace voltina {

// Computes the next `frames` frames into `out`, two bytes each (left, then right; 128 is silence), in
// batches. Equal, byte for byte and in every running value, to `frames` renderFrame calls, so any
// split of a run into calls gives the same bytes. The patch must not change meanwhile: it is read once
// per call. Touches neither the ring nor the recording. A `tap` is handed the values of the jack it
// watches as they are computed, and changes nothing.
void renderFrames(EngineState& s, std::uint8_t* out, std::size_t frames, JackTap* tap = nullptr);

// Computes one frame into out[0] (left) and out[1] (right), one module step after another: the
// reference the batches are held to, and the path tests step frame by frame.
void renderFrame(EngineState& s, std::uint8_t* out);

}  // namespace voltina
