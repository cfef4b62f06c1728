#pragma once
// The arithmetic of one mixer channel and of the frame's output bytes, shared by the frame-at-a-time
// mixer and the render loop's batched one so that both round at exactly the same places.
//
// Engine sources only, for the same reason as module_frames.h: compiled without fused multiply-add.

namespace voltina::frames {

// A channel's signal scaled by its level (0..128 for 0..1), stored as a float before it is weighted.
inline float channelTerm(int level, float signal) {
    return static_cast<float>(level * static_cast<double>(signal) * 0.0078125);
}

// Whether channelTerm may take its product in float, as signal * (level / 128): level / 128 is then
// exact as a float, and the float product rounds the exact product once (below the normal floats and
// beyond the largest as well), as channelTerm does after its exact double products.
inline bool levelScalesInFloat(int level) {
    return level >= -(1 << 24) && level <= (1 << 24);
}

// An ordinary source on one side: weight is mixPan (right) or 100 - mixPan (left), in percent.
inline float addWeighted(float sum, double weight, float term) {
    return static_cast<float>(sum + weight * term * 0.01);
}

// A panoramiker's pan input as a position: 0 (all left) .. 127 (centre) .. 254 (all right); not clamped.
inline int autoPanPosition(float panSignal) {
    return static_cast<int>(static_cast<double>(panSignal) + 127);
}

// A panoramiker on one side: position is e (right) or 254 - e (left), weight as for addWeighted.
inline float addAutoPanned(float sum, int position, float term, double weight) {
    return static_cast<float>(sum + position * static_cast<double>(term) * weight / (254 * 100));
}

// Without stereo output both sides get the whole term.
inline float addMono(float sum, float term) {
    return static_cast<float>(sum + static_cast<double>(term));
}

// The sum over the contributing channels, averaged.
inline float average(float sum, int count) {
    return static_cast<float>(static_cast<double>(sum) / count);
}

// A mixer sum clipped to -127..127 (each side on its own; nothing wraps).
inline float clippedSum(float value) {
    value = value < -127 ? -127.0f : value;
    value = value > 127 ? 127.0f : value;
    return value;
}

// A clipped sum as an unsigned byte: value + 128 cut toward zero (1..255).
inline int byteOfClipped(float value) {
    return static_cast<int>(static_cast<double>(value) + 128);
}

// A mixer sum as an unsigned byte. The render loop runs the two steps as loops of their own, which
// take several frames at a time.
inline int byteOfSum(float value) {
    return byteOfClipped(clippedSum(value));
}

}  // namespace voltina::frames
