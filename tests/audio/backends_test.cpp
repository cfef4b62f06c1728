// Choosing the backend, and the devices that need no sound server: null and RtAudio's backends
// on a machine where no server answers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/backend_choice.h"
#include "audio/jack_device.h"
#include "audio/null_device.h"
#include "audio/pulse_device.h"
#include "audio/rtaudio_device.h"
#include "engine/ring_buffer.h"

namespace voltina {
namespace {

TEST(NullDevice, PositionFollowsTheClockWhilePlaying) {
    NullDevice device;
    RingBuffer ring;
    ring.allocate(64);
    ring.setRingBytes(64);
    DeviceFormat format;
    format.sampleRate = 44100;
    std::uint64_t frames = 0;
    EXPECT_FALSE(device.position(frames));
    ASSERT_TRUE(device.open(format, ring));
    ASSERT_TRUE(device.start());
    const auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(device.position(frames));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_GE(frames, 0.9 * 0.2 * 44100);
    EXPECT_LE(frames, seconds * 44100 + 1);
    device.stop();
    std::uint64_t stopped = 0;
    ASSERT_TRUE(device.position(stopped));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::uint64_t later = 0;
    ASSERT_TRUE(device.position(later));
    EXPECT_EQ(later, stopped);
    EXPECT_TRUE(device.close());
    EXPECT_FALSE(device.position(frames));
}

// Points the sound libraries at servers that do not exist.
class NoServer : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("PULSE_SERVER", "unix:/nonexistent/voltina-no-pulse", 1);
        setenv("JACK_DEFAULT_SERVER", "voltina-no-such-server", 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
    }
};

TEST_F(NoServer, PulseReportsNoDeviceAndRefusesToOpen) {
    PulseDevice device;
    EXPECT_EQ(device.probeDevices(), 0);
    RingBuffer ring;
    ring.allocate(64);
    ring.setRingBytes(64);
    EXPECT_FALSE(device.open(DeviceFormat{}, ring));
    EXPECT_FALSE(device.isOpen());
    std::uint64_t frames;
    EXPECT_FALSE(device.position(frames));
    EXPECT_TRUE(device.close());
}

TEST_F(NoServer, AutomaticChoiceFallsBackOnAlsa) {
    EXPECT_EQ(createWaveDevice(AudioBackend::Automatic)->name(), "alsa");
    EXPECT_EQ(createWaveDevice(AudioBackend::Null)->name(), "null");
    EXPECT_EQ(createWaveDevice(AudioBackend::Jack)->name(), "jack");
}

TEST_F(NoServer, JackAndAlsaStayQuietWithoutServerOrCard) {
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    JackDevice jack;
    EXPECT_EQ(jack.probeDevices(), 0);
    RingBuffer ring;
    ring.allocate(64);
    ring.setRingBytes(64);
    EXPECT_FALSE(jack.open(DeviceFormat{}, ring));
    RtAudioDevice alsa;
    const int alsaDevices = alsa.probeDevices();
    DeviceCaps caps;
    for (int i = 0; i < alsaDevices; ++i) alsa.deviceCaps(i, caps);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

}  // namespace
}  // namespace voltina
