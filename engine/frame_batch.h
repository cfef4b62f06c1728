#pragma once
// The render loop's fast path: many frames of one patch at a time, equal to the frame-at-a-time path.

#include "engine/engine_state.h"
#include "engine/render_block.h"

namespace voltina {

// Computes n frames into the ring at writePos (and the recording), giving exactly the bytes and running
// values of n renderFrame calls. The patch must not change meanwhile: it is read once per call.
void renderFrames(EngineState& s, RenderHost& host, int n);

// Tests only: the widest vectors the mixer may use, in bits (128, 256, or 512, the default), on a
// processor that has them. Every width gives the same bytes; tests check the narrower ones on a
// machine that has the wider.
void limitVectorBitsForTesting(int bits);

}  // namespace voltina
