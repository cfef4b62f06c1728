// The render loop: block bookkeeping against the device position, the failure path, the fixed
// evaluation order (feedback one frame late) and which modules run.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/defaults.h"
#include "engine/oscillator.h"
#include "engine_test_support.h"

namespace voltina {
namespace {

using test::constantSource;
using test::FakeHost;
using test::prepareState;
using test::renderOneFrame;

class RenderBlockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prepareState(s);
        for (int ch = 0; ch < kMixerChannels; ++ch) {
            s.mixLevel[ch] = 128;
            s.mixPan[ch] = 50;
        }
    }
    // A sawtooth on mixer channel 0: every frame's bytes differ from the previous frame's.
    void sawtoothPatch() {
        s.oscType[0] = kSawtooth;
        s.oscFreq[0] = 97.0f;
        syncReset(s);
        plugCord(s, 0, kInMixer);
    }
    std::vector<std::uint8_t> ringSnapshot() const {
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 0; i < s.ring.capacity(); ++i) bytes.push_back(s.ring.load(static_cast<int>(i)));
        return bytes;
    }
    EngineState s;
    FakeHost host{&s};
};

TEST_F(RenderBlockTest, ReturnsAtOnceWhenBusyOffOrWithoutDevice) {
    sawtoothPatch();
    host.position = 100;
    const auto before = ringSnapshot();
    s.renderBusy = true;
    renderBlock(s, host);
    EXPECT_TRUE(s.renderBusy);
    s.renderBusy = false;
    s.speakerOn = 0;
    renderBlock(s, host);
    s.speakerOn = 1;
    host.open = false;
    renderBlock(s, host);
    EXPECT_EQ(host.positionReads, 0);
    EXPECT_EQ(s.writePos, 0);
    EXPECT_EQ(s.lastFramePos, 0);
    EXPECT_EQ(ringSnapshot(), before);
}

TEST_F(RenderBlockTest, WritesExactlyTheFramesPlayedSinceThePreviousCall) {
    constantSource(s, 0, 127.0f);
    plugCord(s, 0, kInMixer);
    s.ring.fill(0);
    host.position = 100;
    renderBlock(s, host);
    EXPECT_FALSE(s.renderBusy);
    EXPECT_EQ(s.lastFramePos, 100);
    EXPECT_EQ(s.writePos, 200);
    for (int f = 0; f < 100; ++f) {
        ASSERT_EQ(test::leftAt(s, f), 191) << f;
        ASSERT_EQ(test::rightAt(s, f), 191) << f;
    }
    EXPECT_EQ(s.ring.load(200), 0);
    EXPECT_EQ(s.ring.load(s.ring.ringBytes() - 1), 0);
}

TEST_F(RenderBlockTest, SecondCallInTheSameFrameComputesNothing) {
    sawtoothPatch();
    host.position = 250;
    renderBlock(s, host);
    const auto ring = ringSnapshot();
    const float saw = s.outValue[0];
    renderBlock(s, host);
    EXPECT_EQ(host.positionReads, 2);
    EXPECT_EQ(s.writePos, 500);
    EXPECT_EQ(s.lastFramePos, 250);
    EXPECT_EQ(s.outValue[0], saw);  // no frame stepped the oscillator
    EXPECT_EQ(ringSnapshot(), ring);
}

// Over many calls, each computes (position - previous position) mod ringFrames frames, the write position
// follows the play position, and the ring wraps.
TEST_F(RenderBlockTest, BookkeepingFollowsThePlayPositionAcrossLaps) {
    sawtoothPatch();
    s.recordOn = 1;
    ASSERT_TRUE(s.recording.start());
    const int ringFrames = s.ring.ringFrames();
    ASSERT_EQ(ringFrames, 3268);
    const std::uint64_t advances[] = {1102, 1103, 0, 1, 1062, 3267, 0, 7, 2 * 3268 + 10, 3268, 500, 0, 2999};
    std::uint64_t rendered = 0;
    for (std::uint64_t advance : advances) {
        SCOPED_TRACE(advance);
        const std::uint32_t lengthBefore = s.recording.length();
        host.position += advance;
        renderBlock(s, host);
        const std::uint64_t expected = advance % static_cast<std::uint64_t>(ringFrames);
        EXPECT_EQ(s.recording.length() - lengthBefore, 2 * expected);
        rendered += expected;
        EXPECT_EQ(s.lastFramePos, static_cast<int>(host.position % ringFrames));
        EXPECT_EQ(s.writePos / 2, s.lastFramePos);
        EXPECT_EQ(s.writePos % 2, 0);
        EXPECT_LT(s.writePos, s.ring.ringBytes());
    }
    EXPECT_EQ(s.recording.length(), 2 * rendered);
    EXPECT_GT(rendered, static_cast<std::uint64_t>(2 * ringFrames));  // the ring did wrap, twice
}

// Every frame lands in the ring frame the device has just played: the stream read lap by lap equals
// the stream rendered.
TEST_F(RenderBlockTest, FramesLandWhereTheDeviceHasJustPlayed) {
    sawtoothPatch();
    s.recordOn = 1;
    ASSERT_TRUE(s.recording.start());
    const int ringFrames = s.ring.ringFrames();
    std::uint64_t frameIndex = 0;
    for (int call = 0; call < 12; ++call) {
        const std::uint64_t start = host.position;
        host.position += 1000 + 37 * call;
        renderBlock(s, host);
        const auto& recorded = s.recording.bytes();
        for (std::uint64_t p = start; p < host.position; ++p, ++frameIndex) {
            const int ringFrame = static_cast<int>(p % ringFrames);
            ASSERT_EQ(test::leftAt(s, ringFrame), recorded[2 * frameIndex]) << p;
            ASSERT_EQ(test::rightAt(s, ringFrame), recorded[2 * frameIndex + 1]) << p;
        }
    }
    EXPECT_EQ(s.recording.length(), 2 * frameIndex);
}

TEST_F(RenderBlockTest, PositionFailureStopsTheSoundOnce) {
    sawtoothPatch();
    host.position = 300;
    renderBlock(s, host);
    const auto ring = ringSnapshot();
    host.failPosition = true;
    host.position = 600;
    renderBlock(s, host);
    const std::vector<std::string> order = {"stopRenderTimer", "closeDevice", "showMessage"};
    EXPECT_EQ(host.calls, order);
    // the timer goes first, while the switch is still on; the device closes with the switch off
    EXPECT_EQ(host.speakerOnAtCall, std::vector<int>({1, 0, 0}));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Impossible to read the position in the wave");
    EXPECT_EQ(s.speakerOn, 0);
    EXPECT_FALSE(s.renderBusy);
    EXPECT_EQ(s.writePos, 600);
    EXPECT_EQ(s.lastFramePos, 300);
    EXPECT_EQ(ringSnapshot(), ring);

    // later calls return at once, even with the position readable again
    host.failPosition = false;
    host.open = true;
    const int reads = host.positionReads;
    for (int i = 0; i < 3; ++i) {
        host.position += 500;
        renderBlock(s, host);
    }
    EXPECT_EQ(host.positionReads, reads);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(ringSnapshot(), ring);
}

// Accumulator 0 comes before multiplier 2 in the order, accumulator 1 after multiplier 0.
TEST_F(RenderBlockTest, LaterModulesAreHeardOneFrameLate) {
    // multiplier 2 = 12 x 1 feeds accumulator 0, which comes before it in the order
    plugCord(s, constantSource(s, 0, 12.0f), kInMultiplier + 4);
    plugCord(s, constantSource(s, 1, 1.0f), kInMultiplier + 5);
    plugCord(s, kOutMultiplier + 2, kInAccumulator);
    plugCord(s, constantSource(s, 2, 0.0f), kInAccumulator + 1);
    // multiplier 0 = 12 x 1 feeds accumulator 1, which comes after it
    plugCord(s, constantSource(s, 3, 12.0f), kInMultiplier);
    plugCord(s, constantSource(s, 4, 1.0f), kInMultiplier + 1);
    plugCord(s, kOutMultiplier, kInAccumulator + 2);
    plugCord(s, constantSource(s, 5, 0.0f), kInAccumulator + 3);
    plugCord(s, kOutAccumulator, kInMixer);
    plugCord(s, kOutAccumulator + 1, kInMixer + 1);

    for (int frame = 1; frame <= 5; ++frame) {
        renderOneFrame(s, host);
        EXPECT_EQ(s.outValue[kOutMultiplier + 2], 12.0f);
        EXPECT_EQ(s.outValue[kOutMultiplier], 12.0f);
        EXPECT_EQ(s.outValue[kOutAccumulator], static_cast<float>(frame - 1)) << frame;
        EXPECT_EQ(s.outValue[kOutAccumulator + 1], static_cast<float>(frame)) << frame;
    }
}

TEST_F(RenderBlockTest, ModulePatchedIntoItselfReadsItsPreviousOutput) {
    plugCord(s, kOutAccumulator, kInAccumulator);  // v += (v + 12) / 12
    plugCord(s, constantSource(s, 0, 12.0f), kInAccumulator + 1);
    const float expected[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 27};
    for (float e : expected) {
        renderOneFrame(s, host);
        ASSERT_EQ(s.outValue[kOutAccumulator], e);
    }
}

TEST_F(RenderBlockTest, WaveReachesTheMixerAtOnceAndModulesOneFrameLate) {
    auto sample = std::make_unique<SampleRecord>();
    sample->data = {128 + 12, 128 + 24, 128 + 36};
    sample->dataLength = 3;
    s.waveSample = std::move(sample);
    plugCord(s, kOutWave, kInMixer);
    s.mixPan[0] = 100;
    plugCord(s, kOutWave, kInAccumulator);  // the record allows two cords from one output
    plugCord(s, constantSource(s, 0, 0.0f), kInAccumulator + 1);
    plugCord(s, kOutAccumulator, kInMultiplier);  // a cord leaves the accumulator; the multiplier stays idle
    const int rightBytes[] = {140, 152, 164};
    const float accumulator[] = {0, 1, 3};  // 0 + 0/12, then + 12/12, then + 24/12
    for (int frame = 0; frame < 3; ++frame) {
        renderOneFrame(s, host);
        EXPECT_EQ(test::rightAt(s, frame), rightBytes[frame]) << frame;
        EXPECT_EQ(s.outValue[kOutAccumulator], accumulator[frame]) << frame;
    }
}

TEST_F(RenderBlockTest, OscillatorIsSlowedFromTheFrameAfterTheAccumulatorFirstReadsIt) {
    s.oscType[1] = kSine;
    s.oscFreq[1] = 300.0f;
    syncReset(s);
    plugCord(s, 1, kInAccumulator);
    plugCord(s, constantSource(s, 7, 0.0f), kInAccumulator + 1);
    plugCord(s, kOutAccumulator, kInMultiplier);
    renderOneFrame(s, host);
    EXPECT_EQ(s.oscPhase[1], 300.0f);
    EXPECT_EQ(s.outValue[1], 0.0f);
    renderOneFrame(s, host);
    EXPECT_EQ(s.outValue[1], s.sineTable[300]);
    EXPECT_EQ(s.oscPhase[1], 301.0f);
    renderOneFrame(s, host);
    EXPECT_EQ(s.oscPhase[1], 302.0f);
}

TEST_F(RenderBlockTest, UnpatchedModulesCostNothingAndKeepTheirValues) {
    s.oscType[3] = kSawtooth;
    s.oscFreq[3] = 500.0f;
    syncReset(s);
    s.outValue[3] = 50.0f;
    // multiplier 0 has both inputs but no cord leaves it
    plugCord(s, constantSource(s, 6, 5.0f), kInMultiplier);
    plugCord(s, constantSource(s, 7, 5.0f), kInMultiplier + 1);
    s.outValue[kOutMultiplier] = -3.0f;
    // multiplier 1 is used but one input has no cord; multiplier 2's input names no real output
    s.outputUsed[kOutMultiplier + 1] = 1;
    plugCord(s, 26, kInMultiplier + 2);
    s.outValue[kOutMultiplier + 1] = -4.0f;
    s.outputUsed[kOutMultiplier + 2] = 1;
    plugCord(s, 27, kInMultiplier + 4);
    s.cordPresent[kInMultiplier + 5] = 1;
    s.cordSource[kInMultiplier + 5] = 40;
    s.outValue[kOutMultiplier + 2] = -5.0f;
    for (int i = 0; i < 10; ++i) renderOneFrame(s, host);
    EXPECT_EQ(s.outValue[3], 50.0f);
    EXPECT_EQ(s.outValue[kOutMultiplier], -3.0f);
    EXPECT_EQ(s.outValue[kOutMultiplier + 1], -4.0f);
    EXPECT_EQ(s.outValue[kOutMultiplier + 2], -5.0f);

    plugCord(s, kOutMultiplier, kInMixer);  // now a cord leaves multiplier 0
    renderOneFrame(s, host);
    EXPECT_EQ(s.outValue[kOutMultiplier], 25.0f);
}

TEST_F(RenderBlockTest, OscillatorRunsWhenOnlyItsJackBIsUsed) {
    s.oscType[2] = kSawtooth;
    s.oscFreq[2] = 500.0f;
    syncReset(s);
    plugCord(s, 22, kInMixer);
    renderOneFrame(s, host);
    EXPECT_EQ(s.outValue[2], s.oscPhase[2]);
    EXPECT_EQ(s.outValue[22], s.oscPhase[2]);
}

TEST_F(RenderBlockTest, MidiOutputsRunOnlyWithTheInputOpenAndANoteSounding) {
    plugCord(s, kOutMidiSaw, kInMixer);
    s.midiStep = 5.0f;
    s.midiFreq = 200.0f;
    s.midiNote = 0;
    s.midiOpen = 1;
    s.outValue[kOutMidiSaw] = 7.0f;
    renderOneFrame(s, host);
    EXPECT_EQ(s.outValue[kOutMidiSaw], 7.0f);
    s.midiNote = 30;
    s.midiOpen = 0;
    renderOneFrame(s, host);
    EXPECT_EQ(s.outValue[kOutMidiSaw], 7.0f);
    s.midiOpen = 1;
    renderOneFrame(s, host);
    EXPECT_EQ(s.outValue[kOutMidiSaw], 5.0f);
    EXPECT_EQ(s.midiAcc, 5.0f);
}

TEST_F(RenderBlockTest, WaveRunsOnlyWhileUsedAndLoaded) {
    plugCord(s, kOutWave, kInMixer);
    s.outValue[kOutWave] = 9.0f;
    renderOneFrame(s, host);  // no sample loaded
    EXPECT_EQ(s.outValue[kOutWave], 9.0f);
    auto sample = std::make_unique<SampleRecord>();
    sample->data = {100, 101};
    sample->dataLength = 2;
    s.waveSample = std::move(sample);
    s.outputUsed[kOutWave] = 0;  // a load in progress holds the output unused
    renderOneFrame(s, host);
    EXPECT_EQ(s.outValue[kOutWave], 9.0f);
    EXPECT_EQ(s.wavePos, 0u);
    s.outputUsed[kOutWave] = 1;
    renderOneFrame(s, host);
    EXPECT_EQ(s.outValue[kOutWave], -28.0f);
    EXPECT_EQ(s.wavePos, 1u);
}

}  // namespace
}  // namespace voltina

namespace voltina {
namespace {

// After the ring's block could not be had, the speaker switch still silences "the ring" and the render
// loop still runs: neither may write through the missing block.
TEST(RenderWithoutRing, SilencingAndRenderingDoNothing) {
    EngineState s;
    setEngineDefaults(s);
    s.ring.setRingBytes(startupRingBytes(s.rateParam));
    s.ring.fill(128);
    s.speakerOn = 1;
    test::FakeHost host;
    host.position = 100;
    renderBlock(s, host);
    EXPECT_EQ(s.writePos, 0);
    EXPECT_FALSE(s.renderBusy);

    // a played length beyond the block is refused the same way
    s.ring.allocate(16);
    s.ring.setRingBytes(32);
    s.ring.fill(128);
    EXPECT_EQ(s.ring.load(15), 128);
    host.position = 200;
    renderBlock(s, host);
    EXPECT_EQ(s.writePos, 0);
}

}  // namespace
}  // namespace voltina
