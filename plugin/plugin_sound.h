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
#include "engine/render_block.h"
#include "render/offline_start.h"

namespace voltina {

class PluginSound {
  public:
    // `started` has its tables, ring and sound on (startSoundOffline). Null when the rates cannot be
    // converted between.
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
    // A device that has played exactly as far as the plugin has asked; it logs nothing, as the audio
    // thread may not.
    using Position = ScriptedDevice;

    explicit PluginSound(std::unique_ptr<EngineState> started);
    // `frames` engine frames as bytes, two per frame, at most maxStep_ frames.
    void renderBytes(std::uint8_t* out, std::uint32_t frames);
    void renderExact(float* left, float* right, std::uint32_t frames);
    static long pull(void* self, float** data);

    static constexpr std::uint32_t kChunkFrames = 64;  // what the converter pulls at a time

    std::unique_ptr<EngineState> state_;
    Position position_;
    std::uint32_t maxStep_ = 1;
    std::vector<std::uint8_t> bytes_;  // one step's frames
    void* converter_ = nullptr;        // SRC_STATE, null at the engine's own rate
    double ratio_ = 1.0;
    float pulled_[kChunkFrames * 2] = {};
    float converted_[kChunkFrames * 2] = {};
};

}  // namespace voltina
