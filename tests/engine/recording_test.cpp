// The hand-off from the render loop to the recording, and the recording's memory failure.

#include <gtest/gtest.h>

#include <vector>

#include "engine/oscillator.h"
#include "engine_test_support.h"

namespace voltina {
namespace {

using test::FakeHost;
using test::prepareState;

// A host whose message box, like the real one, lets the render gate run while it is open.
class ReenteringHost : public FakeHost {
  public:
    explicit ReenteringHost(EngineState& state) : FakeHost(&state), state_(state) {}
    void showMessage(const char* text) override {
        FakeHost::showMessage(text);
        busyDuringMessage = state_.renderBusy;
        const int reads = positionReads;
        position += 10;
        renderBlock(state_, *this);
        nestedCallRendered = positionReads != reads;
    }
    bool busyDuringMessage = false;
    bool nestedCallRendered = false;

  private:
    EngineState& state_;
};

class RecordingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prepareState(s);
        // a sawtooth panned left of centre, so the two bytes of a frame differ
        s.oscType[0] = kSawtooth;
        s.oscFreq[0] = 130.0f;
        syncReset(s);
        plugCord(s, 0, kInMixer);
        s.mixLevel[0] = 128;
        s.mixPan[0] = 20;
        s.recordOn = 1;
        ASSERT_TRUE(s.recording.start());
    }
    std::vector<std::uint8_t> ringBytes(int fromByte, int count) const {
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < count; ++i) bytes.push_back(s.ring.load(fromByte + i));
        return bytes;
    }
    EngineState s;
};

TEST_F(RecordingTest, ReceivesExactlyTheRingBytesLeftFirst) {
    FakeHost host(&s);
    host.position = 2000;
    renderBlock(s, host);
    ASSERT_EQ(s.recording.length(), 4000u);
    EXPECT_EQ(s.recording.bytes(), ringBytes(0, 4000));
    int differing = 0;
    for (int f = 0; f < 2000; ++f) differing += test::leftAt(s, f) != test::rightAt(s, f);
    EXPECT_GT(differing, 1000);  // so the order of the two bytes is really checked
}

TEST_F(RecordingTest, NothingRecordedWhileTheSwitchIsOff) {
    FakeHost host(&s);
    s.recordOn = 0;
    host.position = 500;
    renderBlock(s, host);
    EXPECT_EQ(s.recording.length(), 0u);
}

TEST_F(RecordingTest, MemoryFailureStopsRecordingAndKeepsWhatWasRecorded) {
    s.recording.setByteLimitForTesting(4096);
    ReenteringHost host(s);
    host.position = 3000;
    renderBlock(s, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Memory problem");
    EXPECT_EQ(s.recordOn, 0);
    // the box is shown from inside the render loop, which a nested call must not re-enter
    EXPECT_TRUE(host.busyDuringMessage);
    EXPECT_FALSE(host.nestedCallRendered);
    // the 2048 frames that fitted are kept, and they are the first frames of the stream
    ASSERT_EQ(s.recording.length(), 4096u);
    EXPECT_EQ(s.recording.bytes(), ringBytes(0, 4096));
    // the sound goes on: the whole block was rendered
    EXPECT_EQ(s.writePos, 6000);
    EXPECT_EQ(s.speakerOn, 1);

    host.position += 1000;
    renderBlock(s, host);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(s.recording.length(), 4096u);
}

TEST(Recording, FirstBlockCanFail) {
    Recording recording;
    recording.setByteLimitForTesting(512);
    EXPECT_FALSE(recording.start());
    EXPECT_FALSE(recording.active());
    recording.setByteLimitForTesting(0);
    EXPECT_TRUE(recording.start());
    EXPECT_TRUE(recording.active());
    EXPECT_EQ(recording.length(), 0u);
}

// The bytes recorded do not depend on how the memory grows: a long recording is the plain stream.
TEST(Recording, LongRecordingKeepsEveryFrameInOrder) {
    Recording recording;
    ASSERT_TRUE(recording.start());
    for (int i = 0; i < 300000; ++i) ASSERT_TRUE(recording.append(i & 0xFF, (i >> 8) & 0xFF));
    ASSERT_EQ(recording.length(), 600000u);
    for (int i = 0; i < 300000; i += 997) {
        ASSERT_EQ(recording.bytes()[2 * i], i & 0xFF);
        ASSERT_EQ(recording.bytes()[2 * i + 1], (i >> 8) & 0xFF);
    }
    recording.clear();
    EXPECT_EQ(recording.length(), 0u);
    EXPECT_FALSE(recording.active());
}

}  // namespace
}  // namespace voltina
