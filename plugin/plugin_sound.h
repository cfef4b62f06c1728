#pragma once
// One started engine as the plugin plays it: frames rendered exactly as voltina-render renders them,
// given to the host as floats ((b - 128) / 128), left and right. At a host rate other than the
// engine's, libsoxr converts them at its medium quality (16-bit precision; the source is 8-bit), for
// less than what the engine costs.
//
// What the host sends (notes, parameters) acts at the engine frame its host frame falls on, so a bounce
// plays the same bytes whatever blocks the host renders in. At a converted rate the converter pulls the
// engine ahead of the host; messages wait for their engine frame, and the engine's frames reach the
// converter a fixed pre-roll late so that no message ever comes after its frame was rendered.
//
// Threads: create and destroy off the audio thread (the LV2 worker, instantiate, restore); render(),
// post(), drop() and state() on the audio thread only. render() and post() never allocate, lock, wait
// or log.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/engine_state.h"

namespace voltina {

// A message from the host for the engine: a MIDI message, a value for one of the plugin's parameters, or
// an edit the plugin's window made.
struct TimedMessage {
    enum class Kind : std::uint32_t { Midi, Parameter, Window };
    Kind kind = Kind::Midi;
    std::uint32_t word = 0;  // the packed MIDI message, the parameter's index, or the window edit's slot
    double number = 0.0;     // the parameter's value
    std::uint64_t engineFrame = 0;  // where it acts, counted from the engine's first frame
};

// Whoever applies the messages when their frame comes (the plugin's instance, for the patch it plays).
class TimedMessageSink {
  public:
    virtual void deliver(EngineState& state, const TimedMessage& message) = 0;

  protected:
    ~TimedMessageSink() = default;
};

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

    // The next `frames` frames at the host's rate; the messages whose frame comes are given to `sink`.
    void render(float* left, float* right, std::uint32_t frames, TimedMessageSink& sink);
    // A message at the host frame render() has reached: given to `sink` at once at the engine's own rate,
    // else when the engine reaches that frame (at once should the queue be full).
    void post(TimedMessage message, TimedMessageSink& sink);
    // Every waiting message, at once: the patch is about to be replaced by one that starts again.
    void flush(TimedMessageSink& sink);

    // The converter and its quality, as a benchmark reports them ("libsoxr-0.1.3, quality MQ ...").
    static std::string converterName();

  private:
    explicit PluginSound(std::unique_ptr<EngineState> started) : state_(std::move(started)) {}
    void renderExact(float* left, float* right, std::uint32_t frames);
    static std::size_t pull(void* self, const void** data, std::size_t requested);
    // Renders `frames` engine frames into bytes_, giving each waiting message to the sink at its frame.
    void renderUntilDue(std::uint32_t frames);

    // Frames pulled from the engine at a time at its own rate: the engine reads the patch once per pull,
    // so a block of a few hundred frames costs what the engine costs.
    static constexpr std::uint32_t kStepFrames = 1024;
    // What the converter pulls from the engine at a time: small, so the pre-roll stays short, and large
    // enough to keep the engine's own cost per frame.
    static constexpr std::uint32_t kPullFrames = 128;
    // What the converter gives at a time.
    static constexpr std::uint32_t kChunkFrames = 512;
    static constexpr std::uint32_t kQueueLength = 1024;
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
    // Silent frames the converter takes before the engine's first, so that a message's engine frame is
    // always still to come when its host frame does; then, those still to pull.
    std::uint32_t preRoll_ = 0;

    // Messages waiting for their engine frame, oldest first (their frames never decrease).
    TimedMessage queue_[kQueueLength];
    std::uint32_t queueHead_ = 0;
    std::uint32_t queued_ = 0;
    TimedMessageSink* sink_ = nullptr;  // the sink of the render() under way
    double hostRate_ = 0.0;
    std::uint64_t hostFrames_ = 0;    // host frames rendered since the engine's first
    std::uint64_t engineFrames_ = 0;  // engine frames rendered
};

}  // namespace voltina
