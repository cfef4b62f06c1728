// Cord geometry: the lane and lift tables at their edges, both route shapes, and the pixels that
// move-to/line-to segments light.

#include "panel/cord_routes.h"

#include <gtest/gtest.h>

#include "tests/cords/fake_patch_view.h"

namespace voltina {
namespace {

using Points = std::vector<PanelPoint>;

TEST(CordLane, GrowsOnePixelPerOscillatorStepAndTruncatesTowardZero) {
    EXPECT_EQ(cordLane(23), 16);
    EXPECT_EQ(cordLane(48), 16);
    EXPECT_EQ(cordLane(49), 17);
    EXPECT_EQ(cordLane(20), 16);  // (20 - 23) / 26 is 0, not -1
    EXPECT_EQ(cordLane(-3), 15);
    EXPECT_EQ(cordLane(410), 30);  // oscillator 7's second output
}

TEST(CordLift, ByInputColumn) {
    const int edges[][2] = {{160, 2},  {161, 4},  {209, 4},  {210, 6},  {258, 6},  {259, 8},  {351, 8},
                            {352, 10}, {400, 10}, {401, 12}, {449, 12}, {450, 14}, {554, 14}, {555, 16}};
    for (const auto& e : edges) EXPECT_EQ(cordLift(e[0]), e[1]) << e[0];
}

TEST(CordRoute, SidewaysOutputsLeaveToTheRightOfTheirPlug) {
    EXPECT_TRUE(isSidewaysOutput(0));
    EXPECT_TRUE(isSidewaysOutput(7));
    EXPECT_FALSE(isSidewaysOutput(8));
    EXPECT_FALSE(isSidewaysOutput(19));
    EXPECT_TRUE(isSidewaysOutput(20));
    EXPECT_TRUE(isSidewaysOutput(27));
    EXPECT_FALSE(isSidewaysOutput(28));
    EXPECT_FALSE(isSidewaysOutput(31));
    // 401 (jack point (103, 20)) into 321 (jack point (191, 271)): lane 16, lift 4.
    EXPECT_EQ(cordRoute(0, {103, 20}, {191, 271}),
              (Points{{117, 33}, {119, 33}, {119, 267}, {191, 267}, {191, 271}}));
}

TEST(CordRoute, OtherOutputsRiseFromTheJackPoint) {
    // 409 (jack point (289, 26)) into 315 (jack point (381, 26)): lane 16, lift 10.
    EXPECT_EQ(cordRoute(8, {289, 26}, {381, 26}),
              (Points{{289, 26}, {289, 16}, {305, 16}, {305, 16}, {381, 16}, {381, 26}}));
}

TEST(LinePixels, ExcludeTheLastPixelOfEverySegment) {
    Points px;
    appendLinePixels({5, 7}, {9, 7}, px);
    EXPECT_EQ(px, (Points{{5, 7}, {6, 7}, {7, 7}, {8, 7}}));
    px.clear();
    appendLinePixels({5, 7}, {5, 4}, px);
    EXPECT_EQ(px, (Points{{5, 7}, {5, 6}, {5, 5}}));
    px.clear();
    appendLinePixels({5, 7}, {5, 7}, px);
    EXPECT_TRUE(px.empty());
    px.clear();
    appendLinePixels({0, 0}, {4, 2}, px);
    ASSERT_EQ(px.size(), 4u);
    EXPECT_EQ(px.front(), (PanelPoint{0, 0}));
    for (std::size_t k = 1; k < px.size(); ++k) {  // a connected line, one column per step
        EXPECT_EQ(px[k].x, px[k - 1].x + 1);
        EXPECT_LE(px[k].y - px[k - 1].y, 1);
    }
}

TEST(LinePixels, PolylineLightsEachCornerOnceAndNotTheEnd) {
    const Points px = polylinePixels({{0, 0}, {3, 0}, {3, 2}});
    EXPECT_EQ(px, (Points{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}}));
}

}  // namespace
}  // namespace voltina
