// The RtAudio backend on a JACK server with the dummy driver (tests/support/with_jack_dummy.sh --rate 44100),
// the ring at 11025 Hz. The tests named *Server* end the server and must each run alone, last.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "audio/rtaudio_device.h"
#include "engine/ring_buffer.h"
#include "jack_death.h"

namespace voltina {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class JackDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::jackServerGiven()) GTEST_SKIP() << "needs with_jack_dummy.sh";
        ring.allocate(4 * 11026);
        ring.setRingBytes(6512);
        ring.fill(128);
    }
    // Opens and starts the device and waits until the server really pulls frames through it.
    void play() {
        ASSERT_TRUE(device.open(DeviceFormat{}, ring));
        ASSERT_TRUE(device.start());
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        std::uint64_t frames = 0;
        while ((frames = positionNow()) < 2000 && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(10));
        ASSERT_GE(frames, 2000u);
    }
    std::uint64_t positionNow() {
        std::uint64_t frames = 0;
        EXPECT_TRUE(device.position(frames));
        return frames;
    }
    // Ends the server while playing; returns how long the device took to report its position lost.
    milliseconds loseServer(int signal) {
        const auto killed = Clock::now();
        EXPECT_TRUE(test::endJackServer(signal));
        std::uint64_t frames = 0;
        while (device.position(frames) && Clock::now() - killed < std::chrono::seconds(5))
            std::this_thread::sleep_for(milliseconds(1));
        return std::chrono::duration_cast<milliseconds>(Clock::now() - killed);
    }
    // What the program does with a lost device, then with the user switching the sound on again.
    void closeAndTryAgain() {
        std::uint64_t frames = 0;
        EXPECT_TRUE(device.failed());
        EXPECT_FALSE(device.position(frames));
        device.stop();
        EXPECT_TRUE(device.close());
        EXPECT_FALSE(device.isOpen());
        EXPECT_FALSE(device.open(DeviceFormat{}, ring));
        EXPECT_FALSE(device.isOpen());
        EXPECT_EQ(device.deviceCount(), 0);
    }
    // Ends the server under the playing device and does what the program does then: the loss is noticed
    // within 200 ms, and nothing is printed on standard error.
    void loseServerQuietly(int signal, const char* how) {
        milliseconds noticed{};
        std::string printed;
        {
            test::StderrCapture stderrCapture;
            ASSERT_TRUE(stderrCapture.capturing());
            noticed = loseServer(signal);
            closeAndTryAgain();
            // Whatever RtAudio or libjack might say late, from their own threads.
            std::this_thread::sleep_for(milliseconds(300));
            printed = stderrCapture.text();
        }
        test::reclaimJackServer();
        EXPECT_LT(noticed.count(), 200);
        EXPECT_EQ(printed, "");
        std::printf("the %s server was noticed after %lld ms\n", how,
                    static_cast<long long>(noticed.count()));
    }
    RingBuffer ring;
    RtAudioDevice device{RtBackend::Jack};
};

TEST_F(JackDevice, PlaysRingFramesAtTheRingRateWhateverTheServerRate) {
    ASSERT_NO_FATAL_FAILURE(play());
    EXPECT_EQ(device.deviceRate(), 44100);
    const std::uint64_t first = positionNow();
    const auto begin = Clock::now();
    std::this_thread::sleep_for(milliseconds(1000));
    const std::uint64_t frames = positionNow() - first;
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    EXPECT_NEAR(static_cast<double>(frames), seconds * 11025, 0.05 * 11025);
    EXPECT_FALSE(device.failed());
    device.stop();
    EXPECT_TRUE(device.close());
    // Closing runs on a thread of its own: opening again right away must wait for it, not race it.
    ASSERT_NO_FATAL_FAILURE(play());
    device.stop();
    EXPECT_TRUE(device.close());
}

// A server stopped cleanly under a playing client: libjack tells the client it was shut down.
TEST_F(JackDevice, ServerStoppedTheReadFailsQuietly) {
    ASSERT_NO_FATAL_FAILURE(play());
    loseServerQuietly(SIGTERM, "stopped");
}

// A server that crashes: its socket and semaphores simply go dead.
TEST_F(JackDevice, ServerKilledTheReadFailsQuietly) {
    ASSERT_NO_FATAL_FAILURE(play());
    loseServerQuietly(SIGKILL, "killed");
}

}  // namespace
}  // namespace voltina
