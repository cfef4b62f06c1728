#pragma once
// Whoever watches the live render without taking part in it: the panel's scope and level meter. The ring
// render hands it the frames' bytes and, through its jack tap, the values of the jack the scope watches.
// GUI thread only (the thread that renders): take what is shown and return, never wait.

#include <cstdint>

#include "engine/jack_tap.h"

namespace voltina {

class RenderWatch {
  public:
    virtual ~RenderWatch() = default;
    // The tap the engine feeds, or null while no jack is watched.
    virtual JackTap* jackTap() = 0;
    // Frames just rendered into the ring, two bytes each (left, right).
    virtual void takeFrames(const std::uint8_t* bytes, int frames) = 0;
};

}  // namespace voltina
