#pragma once
// The render call's fast path (renderFrames in render_frames.h): many frames of one patch at a time,
// equal to the frame-at-a-time path.

namespace voltina {

// Tests only: the widest vectors the mixer may use, in bits (128, 256, or 512, the default), on a
// processor that has them. Every width gives the same bytes; tests check the narrower ones on a
// machine that has the wider.
void limitVectorBitsForTesting(int bits);

}  // namespace voltina
