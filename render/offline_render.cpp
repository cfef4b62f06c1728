#include "render/offline_render.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/midi_keys.h"
#include "engine/render_block.h"

namespace voltina {

namespace {

// voltina-render's device: as far as the renderer has asked, and any message on the terminal.
class OfflineHost : public ScriptedDevice {
  public:
    void showMessage(const char* text) override { std::fprintf(stderr, "voltina-render: %s\n", text); }
};

}  // namespace

struct OfflineRenderer::Host : OfflineHost {};

OfflineRenderer::OfflineRenderer(EngineState& s) : s_(s), host_(std::make_unique<Host>()) {
    // The frames are taken from the ring, where every frame is written exactly as the recording would
    // receive it, so nothing grows with the length of the render.
    s_.recordOn = 0;
}

OfflineRenderer::~OfflineRenderer() = default;

std::uint64_t OfflineRenderer::position() const {
    return host_->position;
}

bool OfflineRenderer::renderTo(std::uint64_t frames, const std::vector<TimedMidiMessage>& midi,
                               const std::vector<PanelEvent>& events, const FrameSink& sink,
                               const RenderProgress& progress) {
    EngineState& s = s_;
    OfflineHost& host = *host_;
    // Each call of the render loop must see less than one lap, or it would skip it as a live run does.
    const std::uint64_t maxStep = static_cast<std::uint64_t>(std::max(1, s.ring.ringFrames() / 2));
    block_.resize(static_cast<std::size_t>(maxStep) * 2);
    std::size_t& nextMidi = nextMidi_;
    std::size_t& nextEvent = nextEvent_;
    while (host.position < frames) {
        while (nextMidi < midi.size() && midi[nextMidi].frame <= host.position)
            onMidiMessage(s, midi[nextMidi++].packed);
        while (nextEvent < events.size() && events[nextEvent].frame <= host.position)
            applyPanelEvent(s, events[nextEvent++]);
        std::uint64_t target = std::min(frames, host.position + maxStep);
        if (nextMidi < midi.size())
            target = std::min(target, std::max(midi[nextMidi].frame, host.position + 1));
        if (nextEvent < events.size())
            target = std::min(target, std::max(events[nextEvent].frame, host.position + 1));
        const std::size_t count = static_cast<std::size_t>(target - host.position);
        const int at = s.writePos;
        host.position = target;
        renderBlock(s, host);
        if (s.speakerOn == 0) return false;
        // The block's frames in the ring: from `at` on while a frame starts inside the played length (an
        // even length here; with an odd one, which only tests set, the last would end one byte past
        // it), then from the start.
        const std::size_t ringBytes = static_cast<std::size_t>(s.ring.ringBytes());
        const std::size_t first = 2 * std::min(count, (ringBytes - static_cast<std::size_t>(at) + 1) / 2);
        s.ring.copyOut(at, first, block_.data());
        s.ring.copyOut(0, 2 * count - first, block_.data() + first);
        if (!sink(block_.data(), 2 * count)) return false;
        if (progress) progress(host.position);
    }
    return true;
}

bool renderOfflineTo(EngineState& s, std::uint64_t frames, const std::vector<TimedMidiMessage>& midi,
                     const std::vector<PanelEvent>& events, const FrameSink& sink,
                     const RenderProgress& progress) {
    OfflineRenderer renderer(s);
    return renderer.renderTo(frames, midi, events, sink, progress);
}

}  // namespace voltina
