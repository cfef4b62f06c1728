#pragma once
// Rendering without a sound card: the renderer pulls the engine's frames as it goes, applying the MIDI
// messages and panel events at their frames, and they come out exactly as the recording of a live run
// would receive them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/engine_state.h"
#include "render/panel_events.h"

namespace voltina {

// The most frames handed to the sink at once.
constexpr std::size_t kOfflineBlockFrames = 8192;

struct TimedMidiMessage {
    std::uint64_t frame;   // applied before this frame is computed
    std::uint32_t packed;  // status | data1 << 8 | data2 << 16
};

// Receives the frames as they are rendered, in order: `size` bytes, two per frame, left first. False
// stops the render.
using FrameSink = std::function<bool(const std::uint8_t* bytes, std::size_t size)>;
// Told the number of frames rendered so far after each block.
using RenderProgress = std::function<void(std::uint64_t framesDone)>;

// A render that can go on: the frames rendered and the lists' places are kept from one call to the next,
// so rendering to frame A and then to frame B gives the frames one call to B would. Between two calls the
// caller may change the engine state (a test playing the real panel), which then acts at frame A.
class OfflineRenderer {
  public:
    explicit OfflineRenderer(EngineState& s) : s_(s) {}
    // The frames rendered so far: the frame the next change acts at.
    std::uint64_t position() const { return position_; }
    // Renders up to frame `end`, as renderOfflineTo does; the lists are the same on every call.
    bool renderTo(std::uint64_t end, const std::vector<TimedMidiMessage>& midi,
                  const std::vector<PanelEvent>& events, const FrameSink& sink,
                  const RenderProgress& progress = {});

  private:
    EngineState& s_;
    std::uint64_t position_ = 0;
    std::size_t nextMidi_ = 0;
    std::size_t nextEvent_ = 0;
    std::vector<std::uint8_t> block_;
};

// Renders `frames` frames in blocks of at most kOfflineBlockFrames, handing each block to `sink` as soon as
// it is computed, so memory stays the same whatever the length. Before each frame F, the MIDI messages of
// frame F are applied (in order), then the panel events of frame F (in order); both lists must be sorted
// by frame. False when the sink refused a block or the sound was stopped (a live panel's speaker switch)
// before the end.
bool renderOfflineTo(EngineState& s, std::uint64_t frames, const std::vector<TimedMidiMessage>& midi,
                     const std::vector<PanelEvent>& events, const FrameSink& sink,
                     const RenderProgress& progress = {});

}  // namespace voltina
