#pragma once
// One started engine as the plugin plays it: frames rendered exactly as voltina-render renders them,
// given to the host as floats ((b - 128) / 128), left and right. At a host rate other than the
// engine's, libsoxr converts them at its medium quality (16-bit precision; the source is 8-bit), for
// less than what the engine costs.
//
// Threads: create and destroy off the audio thread (the LV2 worker, instantiate, restore); render() and
// state() on the audio thread only. render() never allocates, locks, waits or logs.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/engine_state.h"

namespace voltina {

class PluginSound {
  public:
    // `started` has its tables and sound on (startEngine). Null when the rates cannot be converted
    // between.
    static std::unique_ptr<PluginSound> create(std::unique_ptr<EngineState> started, double hostRate);
    ~PluginSound();
    PluginSound(const PluginSound&) = delete;
    PluginSound& operator=(const PluginSound&) = delete;

    EngineState& state() { return *state_; }
    int engineRate() const { return state_->rateParam - 1; }
    // Host frames between the engine's first frame and where the host hears it: the converter's delay,
    // the same for every start at a rate; 0 at the engine's own rate.
    std::uint32_t latencyFrames() const { return latencyFrames_; }
    bool converting() const { return converter_ != nullptr; }

    // The next `frames` frames at the host's rate.
    void render(float* left, float* right, std::uint32_t frames);

    // The converter and its quality, as a benchmark reports them ("libsoxr-0.1.3, quality MQ ...").
    static std::string converterName();

  private:
    explicit PluginSound(std::unique_ptr<EngineState> started) : state_(std::move(started)) {}
    void renderExact(float* left, float* right, std::uint32_t frames);
    static std::size_t pull(void* self, const void** data, std::size_t requested);

    // Frames pulled from the engine at a time at its own rate: the engine reads the patch once per pull,
    // so a block of a few hundred frames costs what the engine costs.
    static constexpr std::uint32_t kStepFrames = 1024;
    // What the converter pulls from the engine at a time: a MIDI message or parameter acts at the engine
    // frame pulled so far when its host frame comes, so this bounds how far ahead of the host it lands
    // (2.9 ms at 44100 Hz), while keeping the engine's own cost per frame.
    static constexpr std::uint32_t kPullFrames = 128;
    // What the converter gives at a time.
    static constexpr std::uint32_t kChunkFrames = 512;
    // libsoxr's buffers grow over its first calls, up to what its requests need; create() lets them grow
    // on this much silence, in and out, so that run() never allocates. The host hears that silence's last
    // few milliseconds (what the converter holds) before the engine's first frame.
    static constexpr std::size_t kWarmUpFrames = 16384;

    std::unique_ptr<EngineState> state_;
    std::uint8_t bytes_[2 * kStepFrames] = {};  // one pull's frames
    void* converter_ = nullptr;                 // soxr_t, null at the engine's own rate
    float pulled_[kPullFrames * 2] = {};
    std::uint32_t latencyFrames_ = 0;
    bool warming_ = false;          // pull() gives silence
    std::size_t warmedFrames_ = 0;  // the silent frames pulled
};

}  // namespace voltina
