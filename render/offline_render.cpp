#include "render/offline_render.h"

#include <algorithm>

#include "engine/midi_keys.h"
#include "engine/render_frames.h"

namespace voltina {

bool OfflineRenderer::renderTo(std::uint64_t frames, const std::vector<TimedMidiMessage>& midi,
                               const std::vector<PanelEvent>& events, const FrameSink& sink,
                               const RenderProgress& progress) {
    EngineState& s = s_;
    block_.resize(2 * kOfflineBlockFrames);
    while (position_ < frames) {
        while (nextMidi_ < midi.size() && midi[nextMidi_].frame <= position_)
            onMidiMessage(s, midi[nextMidi_++].packed);
        while (nextEvent_ < events.size() && events[nextEvent_].frame <= position_)
            applyPanelEvent(s, events[nextEvent_++]);
        if (!soundOn(s)) return false;
        std::uint64_t target = std::min(frames, position_ + kOfflineBlockFrames);
        if (nextMidi_ < midi.size())
            target = std::min(target, std::max(midi[nextMidi_].frame, position_ + 1));
        if (nextEvent_ < events.size())
            target = std::min(target, std::max(events[nextEvent_].frame, position_ + 1));
        const std::size_t count = static_cast<std::size_t>(target - position_);
        renderFrames(s, block_.data(), count);
        position_ = target;
        if (!sink(block_.data(), 2 * count)) return false;
        if (progress) progress(position_);
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
