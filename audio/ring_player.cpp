#include "audio/ring_player.h"

namespace voltina {

void RingPlayer::attach(const RingBuffer* ring, int channels) {
    ring_ = ring;
    ringFrames_ = ring ? ring->ringFrames() : 0;
    channels_ = channels == 1 ? 1 : 2;
    resetPosition();
}

namespace {

// Calls emit(left, right) for `frames` ring frames starting at `position`; returns the new position.
template <typename Emit>
std::uint64_t walkRing(const RingBuffer* ring, int ringFrames, std::uint64_t position, unsigned frames,
                       Emit emit) {
    if (ring == nullptr || ringFrames <= 0) {
        for (unsigned i = 0; i < frames; ++i) emit(128, 128);
        return position + frames;
    }
    int frame = static_cast<int>(position % static_cast<std::uint64_t>(ringFrames));
    for (unsigned i = 0; i < frames; ++i) {
        emit(ring->load(2 * frame), ring->load(2 * frame + 1));
        if (++frame == ringFrames) frame = 0;
    }
    return position + frames;
}

}  // namespace

void RingPlayer::renderS16(std::int16_t* out, unsigned frames) {
    const std::uint64_t start = position_.load(std::memory_order_relaxed);
    std::uint64_t end;
    if (channels_ == 1) {
        end = walkRing(ring_, ringFrames_, start, frames,
                       [&out](int left, int) { *out++ = static_cast<std::int16_t>((left - 128) * 256); });
    } else {
        end = walkRing(ring_, ringFrames_, start, frames, [&out](int left, int right) {
            *out++ = static_cast<std::int16_t>((left - 128) * 256);
            *out++ = static_cast<std::int16_t>((right - 128) * 256);
        });
    }
    position_.store(end, std::memory_order_release);
}

void RingPlayer::renderFloat(float* out, unsigned frames) {
    constexpr float kScale = 1.0f / 128.0f;
    const std::uint64_t start = position_.load(std::memory_order_relaxed);
    std::uint64_t end;
    if (channels_ == 1) {
        end = walkRing(ring_, ringFrames_, start, frames,
                       [&out](int left, int) { *out++ = static_cast<float>(left - 128) * kScale; });
    } else {
        end = walkRing(ring_, ringFrames_, start, frames, [&out](int left, int right) {
            *out++ = static_cast<float>(left - 128) * kScale;
            *out++ = static_cast<float>(right - 128) * kScale;
        });
    }
    position_.store(end, std::memory_order_release);
}

}  // namespace voltina
