#pragma once
#include "engine/engine_state.h"
#include "engine/render_block.h"

namespace voltina {

// Computes n frames into the ring at writePos (and the recording), giving exactly the bytes and running
// values of n renderFrame calls. The patch must not change meanwhile: it is read once per call.
void renderFrames(EngineState& s, RenderHost& host, int n);

}  // namespace voltina
