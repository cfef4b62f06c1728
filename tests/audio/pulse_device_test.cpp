// The PulseAudio backend against a private PulseAudio server (tests/support/with_pulse_null_sink.sh).
// The test named ServerKilled* kills the server and must run last, on its own.
#include "audio/pulse_device.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/ring_buffer.h"

namespace voltina {
namespace {

using Clock = std::chrono::steady_clock;

class PulseBackend : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("VOLTINA_TEST_PULSE_PID")) GTEST_SKIP() << "needs with_pulse_null_sink.sh";
        ring.allocate(4 * 44101);
    }
    DeviceFormat formatFor(int rate) {
        DeviceFormat f;
        f.sampleRate = rate;
        return f;
    }
    RingBuffer ring;
};

TEST_F(PulseBackend, DescribesOneStereoDevice) {
    PulseDevice device;
    ASSERT_EQ(device.probeDevices(), 1);
    DeviceCaps caps;
    ASSERT_TRUE(device.deviceCaps(0, caps));
    EXPECT_EQ(caps.channels, 2);
    EXPECT_TRUE(caps.supportsRequiredFormat);
}

// The position advances at the stream's rate at each of the three rates, and the first burst the server
// takes stays well inside the ring (which is about a quarter of a second).
TEST_F(PulseBackend, PositionAdvancesAtTheRateOfEachFormat) {
    PulseDevice device;
    for (int rate : {11025, 22050, 44100}) {
        ring.setRingBytes((rate + 1) / 4 * 2 + 1000);
        ring.fill(128);
        ASSERT_TRUE(device.open(formatFor(rate), ring)) << rate;
        const auto begin = Clock::now();
        ASSERT_TRUE(device.start()) << rate;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        std::uint64_t burst = 0;
        ASSERT_TRUE(device.position(burst));
        EXPECT_LT(burst, static_cast<std::uint64_t>(ring.ringFrames()) / 2) << rate;
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        std::uint64_t frames = 0;
        ASSERT_TRUE(device.position(frames));
        const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
        // Generous: a loaded machine may start late, and the server takes a burst at the start.
        EXPECT_GT(frames, 0.6 * rate) << rate;
        EXPECT_LT(frames, seconds * rate + 0.3 * rate) << rate;
        EXPECT_FALSE(device.failed());
        device.stop();
        EXPECT_TRUE(device.close());
        EXPECT_FALSE(device.isOpen());
    }
}

TEST_F(PulseBackend, SingleChannelStream) {
    PulseDevice device;
    ring.setRingBytes(6512);
    DeviceFormat mono = formatFor(11025);
    mono.channels = 1;
    ASSERT_TRUE(device.open(mono, ring));
    ASSERT_TRUE(device.start());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::uint64_t frames = 0;
    ASSERT_TRUE(device.position(frames));
    EXPECT_GT(frames, 1000u);
    EXPECT_TRUE(device.close());
}

TEST_F(PulseBackend, OpensOnlyOnce) {
    PulseDevice device;
    ring.setRingBytes(6512);
    ASSERT_TRUE(device.open(formatFor(11025), ring));
    EXPECT_FALSE(device.open(formatFor(11025), ring));
    EXPECT_TRUE(device.close());
}

TEST_F(PulseBackend, ServerKilledMidStreamFailsThePositionQuickly) {
    PulseDevice device;
    ring.setRingBytes(6512);
    ring.fill(128);
    ASSERT_TRUE(device.open(formatFor(11025), ring));
    ASSERT_TRUE(device.start());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::uint64_t frames = 0;
    ASSERT_TRUE(device.position(frames));

    ASSERT_EQ(kill(std::atoi(std::getenv("VOLTINA_TEST_PULSE_PID")), SIGKILL), 0);
    const auto killed = Clock::now();
    while (!device.failed() && Clock::now() - killed < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto noticed = Clock::now() - killed;
    ASSERT_TRUE(device.failed());
    EXPECT_LT(noticed, std::chrono::milliseconds(500));
    EXPECT_FALSE(device.position(frames));
    // Closing on a dead server must neither hang nor throw.
    const auto closing = Clock::now();
    EXPECT_TRUE(device.close());
    EXPECT_LT(Clock::now() - closing, std::chrono::milliseconds(500));
    EXPECT_EQ(device.probeDevices(), 0);
}

TEST(PulseWithoutSink, ReportsNoDeviceAndDoesNotOpen) {
    if (!std::getenv("VOLTINA_TEST_PULSE_NO_SINK")) GTEST_SKIP() << "needs with_pulse_null_sink.sh --no-sink";
    PulseDevice device;
    EXPECT_EQ(device.probeDevices(), 0);
    RingBuffer ring;
    ring.allocate(6536);
    ring.setRingBytes(6512);
    EXPECT_FALSE(device.open(DeviceFormat{}, ring));
}

}  // namespace
}  // namespace voltina
