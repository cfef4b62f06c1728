#pragma once
// One started engine as the plugin plays it: frames rendered exactly as voltina-render renders them,
// given to the host as floats ((b - 128) / 128), left and right. At a host rate other than the
// engine's, libsamplerate converts them, as the program's JACK output does.
//
// Threads: create and destroy off the audio thread (the LV2 worker, instantiate, restore); render() and
// state() on the audio thread only. render() never allocates, locks, waits or logs.

#include <cstdint>
#include <memory>
#include <vector>

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
    bool converting() const { return converter_ != nullptr; }

    // The next `frames` frames at the host's rate.
    void render(float* left, float* right, std::uint32_t frames);

  private:
    explicit PluginSound(std::unique_ptr<EngineState> started) : state_(std::move(started)) {}
    // The engine's next `frames` frames (at most kStepFrames) as floats, left and right interleaved.
    void pullFrames(float* out, std::uint32_t frames);
    void renderExact(float* left, float* right, std::uint32_t frames);
    static long pull(void* self, float** data);

    // Frames pulled from the engine at a time: the engine reads the patch once per pull, so a block of
    // a few hundred frames costs what the engine costs.
    static constexpr std::uint32_t kStepFrames = 1024;
    // What the converter pulls from the engine at a time: a MIDI message or parameter acts at the engine
    // frame pulled so far when its host frame comes, so this sets where it lands.
    static constexpr std::uint32_t kPullFrames = 64;
    // What the converter gives at a time.
    static constexpr std::uint32_t kChunkFrames = 64;

    std::unique_ptr<EngineState> state_;
    std::uint8_t bytes_[2 * kStepFrames] = {};  // one pull's frames
    void* converter_ = nullptr;                 // SRC_STATE, null at the engine's own rate
    double ratio_ = 1.0;
    float pulled_[kPullFrames * 2] = {};
    float converted_[kChunkFrames * 2] = {};
};

}  // namespace voltina
