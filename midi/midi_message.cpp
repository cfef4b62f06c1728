#include "midi/midi_message.h"

namespace voltina {

namespace {

// Program change and channel pressure carry one data byte, every other channel message two.
std::size_t channelMessageLength(unsigned char status) {
    const unsigned kind = status & 0xF0u;
    return kind == 0xC0u || kind == 0xD0u ? 2 : 3;
}

bool isDataByte(unsigned char b) {
    return (b & 0x80u) == 0;
}

}  // namespace

bool packShortMessage(const unsigned char* bytes, std::size_t size, std::uint32_t& packed) {
    if (bytes == nullptr || size == 0) return false;
    const unsigned char status = bytes[0];
    // 0x80..0xEF: channel messages; 0xF0 and above are system messages, none of which plays a note.
    if (status < 0x80u || status >= 0xF0u) return false;
    if (size != channelMessageLength(status)) return false;
    for (std::size_t i = 1; i < size; ++i) {
        if (!isDataByte(bytes[i])) return false;
    }
    const std::uint32_t data1 = bytes[1];
    const std::uint32_t data2 = size > 2 ? bytes[2] : 0u;
    packed = static_cast<std::uint32_t>(status) | data1 << 8 | data2 << 16;
    return true;
}

}  // namespace voltina
