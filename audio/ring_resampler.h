#pragma once
// Plays the ring on a device whose rate differs from the ring's (a JACK server runs at its own rate):
// libsamplerate pulls ring frames through the RingPlayer, so the play position stays in ring frames.
//
// Threads: create and destroy on the GUI thread while no audio thread runs; read() on the audio thread
// only. read() never allocates, locks, waits or logs (libsamplerate allocates only when created).

#include <memory>

#include "audio/ring_player.h"

namespace voltina {

class RingResampler {
  public:
    // Returns null when libsamplerate refuses the conversion.
    static std::unique_ptr<RingResampler> create(RingPlayer& player, int ringRate, int deviceRate);
    ~RingResampler();
    RingResampler(const RingResampler&) = delete;
    RingResampler& operator=(const RingResampler&) = delete;

    // Fills `frames` interleaved device frames (the player's channel count).
    void read(float* out, unsigned frames) { read(out, frames, ratio_); }
    // The same for a device whose rate has changed since: `ratio` is its rate over the ring's.
    void read(float* out, unsigned frames, double ratio);
    // Forgets the frames already pulled but not yet played, for a stream that played the ring directly
    // meanwhile. Audio thread; never allocates.
    void reset();

  private:
    RingResampler(RingPlayer& player, double ratio);
    static long pull(void* self, float** data);

    // Small pulls keep the position close to what the device has actually consumed.
    static constexpr int kChunkFrames = 64;

    RingPlayer& player_;
    double ratio_;
    void* state_ = nullptr;  // SRC_STATE
    float chunk_[kChunkFrames * 2] = {};
};

}  // namespace voltina
