// The mixer with the panoramikers, the clipping and the bytes of a frame.

#include "engine/mixer.h"

#include <gtest/gtest.h>

#include <utility>

#include "engine_test_support.h"

namespace voltina {
namespace {

using test::constantSource;
using test::FakeHost;
using test::prepareState;

class MixerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prepareState(s);
        for (int ch = 0; ch < kMixerChannels; ++ch) {
            s.mixLevel[ch] = 128;
            s.mixPan[ch] = 50;
        }
    }
    // Channel ch plays a constant through oscillator `osc`.
    void constantChannel(int ch, int osc, float value, int level, int pan) {
        plugCord(s, constantSource(s, osc, value), kInMixer + ch);
        s.mixLevel[ch] = level;
        s.mixPan[ch] = pan;
    }
    // Channel ch plays panoramiker p, its signal and pan inputs fed constants from oscillators 4 and 5.
    void panoramikerChannel(int ch, int p, float signal, float pan) {
        plugCord(s, kOutPanoramiker + p, kInMixer + ch);
        plugCord(s, constantSource(s, 4, signal), kInPanoramiker + 2 * p);
        plugCord(s, constantSource(s, 5, pan), kInPanoramiker + 2 * p + 1);
    }
    // The bytes of one frame rendered through the render loop.
    std::pair<int, int> frameBytes() {
        const int frame = s.writePos / 2;
        test::renderOneFrame(s, host);
        return {test::leftAt(s, frame), test::rightAt(s, frame)};
    }
    EngineState s;
    FakeHost host{&s};
};

using Bytes = std::pair<int, int>;

TEST_F(MixerTest, NothingPatchedIsSilence) {
    for (int i = 0; i < 5; ++i) EXPECT_EQ(frameBytes(), Bytes(128, 128));
}

TEST_F(MixerTest, OrdinaryChannelPans) {
    constantChannel(0, 0, 127.0f, 128, 100);
    StereoSum sum = mixFrame(s);
    EXPECT_EQ(sum.left, 0.0f);
    EXPECT_EQ(sum.right, 127.0f);
    EXPECT_EQ(frameBytes(), Bytes(128, 255));

    s.mixPan[0] = 50;
    sum = mixFrame(s);
    EXPECT_EQ(sum.left, 63.5f);
    EXPECT_EQ(sum.right, 63.5f);
    EXPECT_EQ(frameBytes(), Bytes(191, 191));

    s.mixPan[0] = 0;
    EXPECT_EQ(frameBytes(), Bytes(255, 128));
}

TEST_F(MixerTest, LevelScalesIn128ths) {
    constantChannel(0, 0, 100.0f, 80, 30);
    const StereoSum sum = mixFrame(s);
    EXPECT_EQ(sum.left, 43.75f);   // 80/128 x 100 = 62.5, 70 % of it
    EXPECT_EQ(sum.right, 18.75f);  // 30 % of it
    EXPECT_EQ(frameBytes(), Bytes(171, 146));
}

TEST_F(MixerTest, TwoEqualChannelsSoundLikeOne) {
    constantChannel(0, 0, 100.0f, 80, 50);
    const Bytes one = frameBytes();
    EXPECT_EQ(one, Bytes(159, 159));  // 31.25 each side
    // a second channel reading the same output, with the same settings
    s.cordPresent[kInMixer + 3] = 1;
    s.cordSource[kInMixer + 3] = 0;
    s.mixLevel[3] = 80;
    s.mixPan[3] = 50;
    EXPECT_EQ(frameBytes(), one);
}

TEST_F(MixerTest, SilentChannelHalvesTheOthers) {
    constantChannel(0, 0, 127.0f, 128, 50);
    constantChannel(1, 1, 0.0f, 128, 50);
    EXPECT_EQ(mixFrame(s).left, 31.75f);
    EXPECT_EQ(frameBytes(), Bytes(159, 159));
}

TEST_F(MixerTest, PanoramikerCentredGivesEachSideAQuarter) {
    panoramikerChannel(0, 0, 127.0f, 0.0f);  // e = 127
    const StereoSum sum = mixFrame(s);
    EXPECT_EQ(sum.left, 31.75f);
    EXPECT_EQ(sum.right, 31.75f);
    EXPECT_EQ(frameBytes(), Bytes(159, 159));
}

TEST_F(MixerTest, PanoramikerFullyRight) {
    panoramikerChannel(0, 0, 127.0f, 127.0f);  // e = 254
    const StereoSum sum = mixFrame(s);
    EXPECT_EQ(sum.left, 0.0f);
    EXPECT_EQ(sum.right, 63.5f);
    EXPECT_EQ(frameBytes(), Bytes(128, 191));
}

TEST_F(MixerTest, PanoramikerFullyLeft) {
    panoramikerChannel(0, 2, 127.0f, -127.0f);  // e = 0
    EXPECT_EQ(frameBytes(), Bytes(191, 128));
}

TEST_F(MixerTest, PanoramikerWeightsByTheChannelsOwnPanToo) {
    panoramikerChannel(0, 1, 127.0f, 0.0f);
    s.mixPan[0] = 100;
    EXPECT_EQ(frameBytes(), Bytes(128, 191));  // right: 127 x 127 x 100 / 25400
}

// e is the pan input plus 127, cut toward zero: -0.5 gives 126, not 127.
TEST_F(MixerTest, PanoramikerPositionIsCutTowardZero) {
    panoramikerChannel(0, 0, 127.0f, -0.5f);
    const StereoSum sum = mixFrame(s);
    EXPECT_EQ(sum.right, 31.5f);  // 126 x 127 x 50 / 25400
    EXPECT_EQ(sum.left, 32.0f);   // 128 x 127 x 50 / 25400
    EXPECT_EQ(frameBytes(), Bytes(160, 159));
}

// Pan inputs beyond +-127 (an accumulator reaches 129, the Wave -128) push e outside 0..254.
TEST_F(MixerTest, PanoramikerPositionIsNotClamped) {
    panoramikerChannel(0, 0, 127.0f, 129.0f);  // e = 256
    StereoSum sum = mixFrame(s);
    EXPECT_EQ(sum.right, 64.0f);
    EXPECT_EQ(sum.left, -0.5f);
    EXPECT_EQ(frameBytes(), Bytes(127, 192));

    s.outValue[5] = -128.0f;  // e = -1
    sum = mixFrame(s);
    EXPECT_EQ(sum.right, -0.25f);
    EXPECT_EQ(sum.left, 63.75f);
    EXPECT_EQ(frameBytes(), Bytes(191, 127));
}

TEST_F(MixerTest, PanoramikerWithoutBothInputsNeitherSoundsNorCounts) {
    constantChannel(0, 0, 127.0f, 128, 50);
    panoramikerChannel(1, 0, 127.0f, 0.0f);
    EXPECT_EQ(frameBytes(), Bytes(175, 175));  // (63.5 + 31.75) / 2 = 47.625

    s.cordPresent[kInPanoramiker + 1] = 0;  // pan input pulled
    s.cordSource[kInPanoramiker + 1] = kNoCord;
    EXPECT_EQ(frameBytes(), Bytes(191, 191));

    plugCord(s, 5, kInPanoramiker + 1);
    s.cordPresent[kInPanoramiker] = 0;  // signal input pulled
    EXPECT_EQ(frameBytes(), Bytes(191, 191));

    s.cordPresent[kInPanoramiker] = 1;  // present, but no real source
    s.cordSource[kInPanoramiker] = 32;
    EXPECT_EQ(frameBytes(), Bytes(191, 191));
}

// A channel whose cord is marked present but names no real output is skipped rather than read past
// the 32 outputs.
TEST_F(MixerTest, ChannelWithoutARealSourceNeitherSoundsNorCounts) {
    constantChannel(0, 0, 127.0f, 128, 50);
    s.cordPresent[kInMixer + 4] = 1;
    s.cordSource[kInMixer + 4] = kNoCord;
    EXPECT_EQ(frameBytes(), Bytes(191, 191));
}

TEST_F(MixerTest, SingleChannelDeviceIgnoresPanAndSilencesPanoramikers) {
    s.stereoOut = 0;
    constantChannel(0, 0, 127.0f, 128, 100);
    EXPECT_EQ(frameBytes(), Bytes(255, 255));
    // a panoramiker's own value is 0: it counts as a silent channel
    panoramikerChannel(1, 0, 127.0f, 127.0f);
    EXPECT_EQ(frameBytes(), Bytes(191, 191));
}

TEST_F(MixerTest, RightClipsAloneAbove127) {
    // an accumulator holding 129 (it has no inputs, so it keeps its value)
    s.outValue[kOutAccumulator] = 129.0f;
    plugCord(s, kOutAccumulator, kInMixer + 2);
    s.mixPan[2] = 100;
    const StereoSum sum = mixFrame(s);
    EXPECT_EQ(sum.right, 129.0f);
    EXPECT_EQ(frameBytes(), Bytes(128, 255));
}

TEST_F(MixerTest, LeftClipsAloneBelowMinus127) {
    s.outValue[kOutWave] = -128.0f;  // no sample: the Wave output keeps its value
    plugCord(s, kOutWave, kInMixer + 7);
    s.mixPan[7] = 0;
    EXPECT_EQ(frameBytes(), Bytes(1, 128));
}

TEST(SumToByte, ClipsThenCutsTowardZero) {
    EXPECT_EQ(sumToByte(0.0f), 128);
    EXPECT_EQ(sumToByte(127.0f), 255);
    EXPECT_EQ(sumToByte(-127.0f), 1);
    EXPECT_EQ(sumToByte(300.0f), 255);
    EXPECT_EQ(sumToByte(-300.0f), 1);
    EXPECT_EQ(sumToByte(63.9f), 191);
    EXPECT_EQ(sumToByte(-0.5f), 127);
    EXPECT_EQ(sumToByte(-126.5f), 1);
}

}  // namespace
}  // namespace voltina
