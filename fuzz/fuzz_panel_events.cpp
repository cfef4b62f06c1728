// The events reader on arbitrary text, against the start-up patch: it either refuses with a message or
// gives events in frame order whose plugs and unplugs, applied one after another, always find the cords
// as the patch bay's rules want them and leave every output with at most one cord. Read as a take's
// performance, the same text gives a start state within its ranges or a message.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/defaults.h"
#include "render/panel_events.h"

using namespace voltina;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static EngineState start;
    static bool ready = false;
    if (!ready) {
        setEngineDefaults(start);
        ready = true;
    }
    std::string error;
    Performance performance;
    if (!parsePerformance(text, performance, error)) {
        if (error.empty()) std::abort();
    } else if (performance.start) {
        const EngineState& p = *performance.start;
        for (int i = 0; i < kOscillators; ++i) {
            if (p.oscType[i] < kSine || p.oscType[i] > kRandom) std::abort();
        }
        for (int j = 0; j < kJacks; ++j) {
            if (p.cordSource[j] < -1 || p.cordSource[j] > kNoCord) std::abort();
        }
        if (p.midiNote < 0 || p.midiNote > kNoteCount || p.random.state() == 0) std::abort();
    }
    std::vector<PanelEvent> events;
    error.clear();
    if (!parsePanelEvents(text, start, events, error)) {
        if (error.empty()) std::abort();  // every refusal says why
        return 0;
    }
    EngineState s;
    setEngineDefaults(s);
    std::uint64_t frame = 0;
    for (const PanelEvent& e : events) {
        if (e.frame < frame) std::abort();
        frame = e.frame;
        if (e.edit.kind == EditKind::Plug && (hasCord(s, e.edit.input) || s.outputUsed[e.edit.output] != 0))
            std::abort();
        if (e.edit.kind == EditKind::UnplugAtInput && !hasCord(s, e.edit.input)) std::abort();
        applyPanelEvent(s, e);
        int cords[kJacks] = {};
        for (int in = 0; in < kJacks; ++in) {
            if (hasCord(s, in)) ++cords[s.cordSource[in]];
        }
        for (int out = 0; out < kJacks; ++out) {
            if (cords[out] > 1 || (cords[out] == 1) != (s.outputUsed[out] == 1)) std::abort();
        }
    }
    return 0;
}
