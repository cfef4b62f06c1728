#pragma once
// What the panel watches of the live render: the output's level always, and the scope's jack while the
// scope is open (otherwise the engine is handed no tap and pays nothing for it).
// GUI thread only.

#include "audio/jack_capture.h"
#include "audio/output_level.h"
#include "audio/render_watch.h"

namespace voltina {

class SignalWatch : public RenderWatch {
  public:
    // The scope's capture holds this much of the watched jack.
    static constexpr int kCaptureSeconds = 4;

    explicit SignalWatch(const EngineState& state) : capture_(state, kCaptureSeconds) {}

    JackCapture& capture() { return capture_; }
    OutputLevel& level() { return level_; }
    // Whether the scope's jack is captured; off, its values are neither asked for nor kept.
    void setScopeOpen(bool open) { scopeOpen_ = open; }

    JackTap* jackTap() override { return scopeOpen_ ? &capture_ : nullptr; }
    void takeFrames(const std::uint8_t* bytes, int frames) override { level_.take(bytes, frames); }

  private:
    JackCapture capture_;
    OutputLevel level_;
    bool scopeOpen_ = false;
};

}  // namespace voltina
