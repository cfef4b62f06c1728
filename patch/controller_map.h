#pragma once
// The bindings as a table that turns a control change into the edit it makes, the same in the panel, in
// voltina-render and in the plugin's audio thread: built once when the bindings change (off the audio
// thread), then read without allocating or locking.
//
// 14-bit controllers: a controller 0..31 bound to a control sets it from its own value (0..127); the
// same controller's fine part, number + 32 on the same MIDI channel, then sets it again from both,
// (MSB x 128 + LSB) over 0..16383, unless that number is bound itself.
// Plain C++.

#include <array>
#include <cstdint>

#include "patch/controller_binding.h"
#include "patch/edit.h"

namespace voltina {

class ControllerMap {
  public:
    ControllerMap();
    explicit ControllerMap(const ControllerBindings& bindings);

    const ControllerBindings& bindings() const { return bindings_; }

    // The binding a short message (status | data1 << 8 | data2 << 16) moves and, in `edit`, what it
    // sets; null for any other message. Remembers each coarse value for the fine part that may follow.
    const ControllerBinding* translate(std::uint32_t packed, Edit& edit);

  private:
    static constexpr int kFineControllers = 32;
    ControllerBindings bindings_;
    // Per MIDI channel and controller number: the binding's place plus one, 0 for none.
    std::array<std::array<std::uint16_t, 128>, kMidiChannels> slots_{};
    // Per MIDI channel, the last coarse value of controllers 0..31; -1 before any.
    std::array<std::array<std::int8_t, kFineControllers>, kMidiChannels> coarse_{};
};

}  // namespace voltina
