#pragma once
#include "engine/engine_state.h"
#include "engine/render_block.h"

namespace voltina {

// Computes n frames into the ring at writePos (and the recording), giving exactly the bytes and running
// values of n renderFrame calls. The patch must not change meanwhile: it is read once per call.
void renderFrames(EngineState& s, RenderHost& host, int n);

// Tests only: whether the mixer may use 256-bit vectors on a processor that has them (the default).
// Both ways give the same bytes; tests check the narrow way on a machine that has the wide one.
void allowWideVectorsForTesting(bool allow);

}  // namespace voltina
