#pragma once
// The mixer, one frame at a time: the eight channels into a left and a right byte.

#include "engine/engine_state.h"

namespace voltina {

struct StereoSum {
    float left = 0.0f;
    float right = 0.0f;
};

// The eight mixer channels with the panoramikers, averaged over the contributing channels.
StereoSum mixFrame(const EngineState& s);

// A mixer sum as an unsigned byte: clipped to -127..127, then value + 128 cut toward zero (1..255).
int sumToByte(float value);

}  // namespace voltina
