// The sine tables and the ring's sizes.

#include "engine/tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/ring_buffer.h"

namespace voltina {
namespace {

// The definition the tables follow: the angle is summed step by step in double, never multiplied out.
std::vector<float> sineByRepeatedAddition(int rateParam) {
    std::vector<float> table;
    const double step = 6.28232 / rateParam;
    double angle = 0.0;
    for (int i = 0; i < rateParam; ++i) {
        table.push_back(static_cast<float>(std::sin(angle) * 127));
        angle += step;
    }
    return table;
}

std::vector<float> sineByClosedFormula(int rateParam) {
    std::vector<float> table;
    for (int i = 0; i < rateParam; ++i)
        table.push_back(static_cast<float>(127 * std::sin(i * 6.28232 / rateParam)));
    return table;
}

TEST(SineTable, ShapeAt11025) {
    const std::vector<float> table = buildSineTable(11026);
    ASSERT_EQ(table.size(), 11026u);
    EXPECT_EQ(table[0], 0.0f);
    EXPECT_EQ(*std::max_element(table.begin(), table.end()), 127.0f);
    EXPECT_EQ(*std::min_element(table.begin(), table.end()), -127.0f);
    // 6.28232 falls short of a full turn, so the table ends just below zero rather than near -0.07
    EXPECT_NEAR(table.back(), -0.18f, 0.005f);
    // a quarter turn in: the top of the wave
    EXPECT_NEAR(table[2757], 127.0f, 0.01f);
}

TEST(SineTable, FollowsRepeatedAdditionAtEveryRate) {
    for (int rateParam : {11026, 22051, 44101}) {
        SCOPED_TRACE(rateParam);
        const std::vector<float> table = buildSineTable(rateParam);
        const std::vector<float> expected = sineByRepeatedAddition(rateParam);
        ASSERT_EQ(table.size(), expected.size());
        for (std::size_t i = 0; i < table.size(); ++i) ASSERT_EQ(table[i], expected[i]) << "entry " << i;
    }
}

// Guards the check above: at the higher rates the two ways of working out the angle do give different
// floats, so a table built with the closed formula could not pass it.
TEST(SineTable, RepeatedAdditionDiffersFromClosedFormulaAtHigherRates) {
    for (int rateParam : {22051, 44101}) {
        const std::vector<float> summed = sineByRepeatedAddition(rateParam);
        const std::vector<float> closed = sineByClosedFormula(rateParam);
        EXPECT_NE(summed, closed) << rateParam;
    }
}

TEST(SinusoiderTable, Entries) {
    float table[256];
    std::fill(std::begin(table), std::end(table), -5.0f);
    fillSinusoiderTable(table);
    double angle = 0.0;
    for (int j = 0; j < 256; ++j) {
        ASSERT_EQ(table[j], static_cast<float>(std::sin(angle))) << "entry " << j;
        angle += 0.0245403125;
    }
    EXPECT_EQ(table[0], 0.0f);
    EXPECT_NEAR(table[64], 1.0f, 1e-6f);     // angle input -63
    EXPECT_NEAR(table[127], 0.025f, 1e-3f);  // angle input 0
    EXPECT_NEAR(table[191], -1.0f, 1e-3f);   // angle input 64
}

TEST(RingSizes, StartupAndAfterRateChange) {
    EXPECT_EQ(startupRingBytes(11026), 6536);
    EXPECT_EQ(rateChangeRingBytes(11026), 6512);
    EXPECT_EQ(rateChangeRingBytes(22051), 12024);
    EXPECT_EQ(rateChangeRingBytes(44101), 23050);
    for (int rateParam : {11026, 22051, 44101}) {
        EXPECT_EQ(ringCapacity(rateParam), 4u * rateParam);
        EXPECT_LE(static_cast<std::size_t>(startupRingBytes(rateParam)), ringCapacity(rateParam));
        EXPECT_EQ(rateChangeRingBytes(rateParam) % 2, 0);
    }
}

TEST(RingBuffer, FreshBlockIsZeroAndFillCoversOnlyThePlayedBytes) {
    RingBuffer ring;
    ring.allocate(ringCapacity(11026));
    ring.setRingBytes(6536);
    EXPECT_EQ(ring.ringFrames(), 3268);
    EXPECT_EQ(ring.load(0), 0);  // zero bytes, not silence, until the sound starts
    EXPECT_EQ(ring.load(6535), 0);
    ring.fill(128);
    EXPECT_EQ(ring.load(0), 128);
    EXPECT_EQ(ring.load(6535), 128);
    EXPECT_EQ(ring.load(6536), 0);
}

}  // namespace
}  // namespace voltina
