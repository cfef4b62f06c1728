#pragma once
// The audio thread's side of the ring: copies frames out of the ring at the play position, converts them
// to the device's sample format and advances the play position.
//
// Threads: attach() and resetPosition() on the GUI thread while no audio thread runs; the render*()
// members on the audio thread only; position() on any thread. Never allocates, locks, waits or logs.

#include <atomic>
#include <cstdint>

#include "engine/ring_buffer.h"

namespace voltina {

class RingPlayer {
  public:
    // channels 2 plays both bytes of a frame; channels 1 plays the left byte only.
    void attach(const RingBuffer* ring, int channels);
    void resetPosition() { position_.store(0, std::memory_order_release); }

    int channels() const { return channels_; }
    int ringFrames() const { return ringFrames_; }

    // Interleaved signed 16-bit: (b - 128) * 256, bit-exact back to the byte.
    void renderS16(std::int16_t* out, unsigned frames);
    // Interleaved float: (b - 128) / 128.
    void renderFloat(float* out, unsigned frames);

    std::uint64_t position() const { return position_.load(std::memory_order_acquire); }

  private:
    const RingBuffer* ring_ = nullptr;
    int ringFrames_ = 0;
    int channels_ = 2;
    // Written by the audio thread only; the GUI thread reads it.
    std::atomic<std::uint64_t> position_{0};
};

}  // namespace voltina
