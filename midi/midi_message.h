#pragma once
// Which bytes from a MIDI port are worth handing on: one complete channel message (note-on, note-off,
// controller, pitch bend and the like) with a status byte and in-range data bytes. Everything else —
// system exclusive, real-time and common messages, a lone data byte, a message cut short or run on —
// is dropped here, before it can leave the MIDI library's thread.

#include <cstddef>
#include <cstdint>

namespace voltina {

// Any thread (pure). On true, `packed` = status | data1 << 8 | data2 << 16; a two-byte message
// (program change, channel pressure) packs data2 as 0.
bool packShortMessage(const unsigned char* bytes, std::size_t size, std::uint32_t& packed);

}  // namespace voltina
