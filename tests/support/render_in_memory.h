#pragma once
// Tests: a whole offline render gathered in memory, to compare with another render byte for byte.

#include <cstdint>
#include <vector>

#include "render/offline_render.h"

namespace voltina {

// renderOfflineTo's frames, all of them, as one block of bytes (two per frame, left first).
inline std::vector<std::uint8_t> renderOffline(EngineState& s, std::uint64_t frames,
                                               const std::vector<TimedMidiMessage>& midi,
                                               const std::vector<PanelEvent>& events = {}) {
    std::vector<std::uint8_t> bytes;
    renderOfflineTo(s, frames, midi, events, [&](const std::uint8_t* data, std::size_t size) {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    });
    return bytes;
}

}  // namespace voltina
