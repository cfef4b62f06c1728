#include "midi/midi_message.h"

#include <gtest/gtest.h>

#include <vector>

namespace voltina {
namespace {

bool pack(const std::vector<unsigned char>& bytes, std::uint32_t& packed) {
    return packShortMessage(bytes.data(), bytes.size(), packed);
}

TEST(MidiMessage, PacksCompleteChannelMessagesOfEveryChannel) {
    std::uint32_t packed = 0;
    ASSERT_TRUE(pack({0x90, 69, 100}, packed));
    EXPECT_EQ(packed, 0x90u | 69u << 8 | 100u << 16);
    ASSERT_TRUE(pack({0x8F, 0, 127}, packed));
    EXPECT_EQ(packed, 0x8Fu | 127u << 16);
    ASSERT_TRUE(pack({0xB3, 7, 64}, packed));  // controllers pass; the key logic ignores them
    EXPECT_EQ(packed, 0xB3u | 7u << 8 | 64u << 16);
    ASSERT_TRUE(pack({0xC5, 12}, packed));  // program change: one data byte
    EXPECT_EQ(packed, 0xC5u | 12u << 8);
    ASSERT_TRUE(pack({0xD0, 90}, packed));
    EXPECT_EQ(packed, 0xD0u | 90u << 8);
}

TEST(MidiMessage, DropsSystemMessagesAndBrokenBytes) {
    const std::vector<std::vector<unsigned char>> dropped = {
        {},                                    // nothing
        {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},  // system exclusive
        {0xF7},                                // a lone end of exclusive
        {0xF8},
        {0xFA},
        {0xFE},
        {0xFF},              // real-time bytes
        {0xF2, 0x10, 0x20},  // song position
        {0xF1, 0x10},        // time code
        {69, 100},           // running status: no status byte
        {0x90, 69},          // cut short
        {0x90},              // status alone
        {0x90, 69, 100, 0},  // run on
        {0xC0, 5, 6},        // program change with two data bytes
        {0xE0, 0},           // pitch bend cut short
        {0x90, 0xC5, 100},   // a status byte where a data byte belongs
        {0x90, 69, 0x80},
    };
    for (const auto& bytes : dropped) {
        std::uint32_t packed = 0xDEADBEEF;
        EXPECT_FALSE(pack(bytes, packed)) << "message of " << bytes.size() << " bytes";
        EXPECT_EQ(packed, 0xDEADBEEFu);
    }
    std::uint32_t packed = 0;
    EXPECT_FALSE(packShortMessage(nullptr, 3, packed));
}

}  // namespace
}  // namespace voltina
