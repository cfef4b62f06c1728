#include "render/controller_moves.h"

#include <algorithm>

#include "patch/controller_map.h"

namespace voltina {

std::vector<PanelEvent> withControllerMoves(const ControllerBindings& bindings,
                                            const std::vector<TimedMidiMessage>& midi,
                                            const std::vector<PanelEvent>& events) {
    std::vector<PanelEvent> moves;
    ControllerMap map(bindings);
    for (const TimedMidiMessage& m : midi) {
        PanelEvent event;
        event.frame = m.frame;
        if (map.translate(m.packed, event.edit) != nullptr) moves.push_back(std::move(event));
    }
    if (moves.empty()) return events;
    std::vector<PanelEvent> all;
    all.reserve(moves.size() + events.size());
    std::merge(moves.begin(), moves.end(), events.begin(), events.end(), std::back_inserter(all),
               [](const PanelEvent& a, const PanelEvent& b) { return a.frame < b.frame; });
    return all;
}

}  // namespace voltina
