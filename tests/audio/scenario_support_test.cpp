// The judge of the capture tests must itself tell a dropped or repeated frame from an underrun.
#include "scenario_support.h"

#include <gtest/gtest.h>

namespace voltina {
namespace {

std::vector<std::uint8_t> recording(std::size_t frames) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < frames; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(1 + i % 250));
        bytes.push_back(static_cast<std::uint8_t>(255 - i % 200));
    }
    return bytes;
}

std::vector<std::int16_t> played(const std::vector<std::uint8_t>& bytes, std::size_t silenceBefore) {
    std::vector<std::int16_t> s16(2 * silenceBefore, 0);
    for (std::uint8_t b : bytes) s16.push_back(static_cast<std::int16_t>((b - 128) * 256));
    return s16;
}

TEST(CaptureJudge, ExactCopyAfterSilence) {
    const auto rec = recording(5000);
    const CaptureComparison c = compareCapture(played(rec, 700), rec);
    EXPECT_TRUE(c.found);
    EXPECT_EQ(c.problem, "");
    EXPECT_EQ(c.startFrame, 700u);
    EXPECT_EQ(c.silentBefore, 700u);
    EXPECT_EQ(c.compared, 5000u);
    EXPECT_EQ(c.underrunRuns, 0);
}

TEST(CaptureJudge, UnderrunZerosAreCountedApart) {
    const auto rec = recording(5000);
    auto cap = played(rec, 10);
    cap.insert(cap.begin() + 2 * (10 + 3000), 2 * 37, 0);
    const CaptureComparison c = compareCapture(cap, rec);
    EXPECT_EQ(c.problem, "");
    EXPECT_EQ(c.underrunRuns, 1);
    EXPECT_EQ(c.underrunFrames, 37u);
    EXPECT_EQ(c.compared, 5000u);
}

TEST(CaptureJudge, DroppedRepeatedOrChangedFramesAreFaults) {
    const auto rec = recording(5000);
    auto dropped = played(rec, 10);
    dropped.erase(dropped.begin() + 2 * (10 + 4000), dropped.begin() + 2 * (10 + 4001));
    EXPECT_NE(compareCapture(dropped, rec).problem, "");

    auto repeated = played(rec, 10);
    repeated.insert(repeated.begin() + 2 * (10 + 4000), repeated.begin() + 2 * (10 + 3990),
                    repeated.begin() + 2 * (10 + 3992));
    EXPECT_NE(compareCapture(repeated, rec).problem, "");

    auto changed = played(rec, 10);
    changed[2 * (10 + 4500) + 1] += 256;
    const CaptureComparison c = compareCapture(changed, rec);
    EXPECT_NE(c.problem, "");
    EXPECT_EQ(c.compared, 4500u);
}

TEST(CaptureJudge, MissingRecordingIsNotFound) {
    const auto rec = recording(3000);
    const CaptureComparison c = compareCapture(std::vector<std::int16_t>(20000, 0), rec);
    EXPECT_FALSE(c.found);
}

}  // namespace
}  // namespace voltina
