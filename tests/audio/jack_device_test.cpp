// The JACK backend on a JACK server with the dummy driver (tests/support/with_jack_dummy.sh --rate 44100
// --period 256), the ring at 11025 Hz. The tests named *Server* end the server and must each run alone, last.
#include "audio/jack_device.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/ring_buffer.h"
#include "jack_death.h"
#include "jack_ear.h"

#if defined(__SANITIZE_THREAD__)
#define VOLTINA_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VOLTINA_UNDER_TSAN 1
#endif
#endif
#ifndef VOLTINA_UNDER_TSAN
#define VOLTINA_UNDER_TSAN 0
#endif

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
    void play(const DeviceFormat& format = DeviceFormat{}) {
        ASSERT_TRUE(device.open(format, ring));
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
        EXPECT_EQ(device.probeDevices(), 0);
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
    voltina::JackDevice device;
};

bool connected(jack_client_t* client, const char* port, const char* to) {
    const jack_port_t* p = jack_port_by_name(client, port);
    return p != nullptr && jack_port_connected_to(p, to) != 0;
}

TEST_F(JackDevice, PlaysRingFramesAtTheRingRateWhateverTheServerRate) {
    ASSERT_NO_FATAL_FAILURE(play());
    EXPECT_EQ(device.deviceRate(), 44100);
    // Its names, and its outputs on the system's playback ports, as a JACK user expects.
    EXPECT_EQ(device.clientName(), "Voltina");
    test::JackEar ear(1);
    ASSERT_TRUE(ear.open());
    EXPECT_TRUE(connected(ear.client(), "Voltina:out_left", "system:playback_1"));
    EXPECT_TRUE(connected(ear.client(), "Voltina:out_right", "system:playback_2"));
    const std::uint64_t first = positionNow();
    const auto begin = Clock::now();
    std::this_thread::sleep_for(milliseconds(2000));
    const std::uint64_t frames = positionNow() - first;
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    // The dummy driver runs on a timer: on a loaded machine it falls behind a little.
    EXPECT_NEAR(static_cast<double>(frames), seconds * 11025, 0.1 * seconds * 11025);
    EXPECT_FALSE(device.failed());
    device.stop();
    EXPECT_TRUE(device.close());
    // Closing runs on a thread of its own: opening again right away must wait for it, not race it.
    ASSERT_NO_FATAL_FAILURE(play());
    device.stop();
    EXPECT_TRUE(device.close());
}

// The server changes its block size under the playing device: the ports go on carrying the ring, frame after
// frame (played at the server's rate, so untouched), and an xrun the server reports is counted.
TEST_F(JackDevice, FollowsABlockSizeChangeAndCountsXruns) {
    // A ring whose every frame differs from its neighbours: left rises, right falls.
    ring.setRingBytes(2 * 4000);
    for (int i = 0; i < 4000; ++i) {
        ring.store(2 * i, static_cast<std::uint8_t>(i % 251));
        ring.store(2 * i + 1, static_cast<std::uint8_t>(255 - i % 241));
    }
    DeviceFormat format;
    format.sampleRate = 44100;
    test::JackEar ear(44100);
    ASSERT_TRUE(ear.open());
    ASSERT_NO_FATAL_FAILURE(play(format));
    ASSERT_EQ(ear.connectFrom("Voltina"), 2);
    EXPECT_EQ(device.blockSize(), 256u);

    ASSERT_EQ(std::system("jack_bufsize 1024 >/dev/null 2>&1"), 0);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (device.blockSize() != 1024 && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(10));
    ASSERT_EQ(device.blockSize(), 1024u);
    EXPECT_EQ(device.blockSizeChanges(), 1u);
    std::this_thread::sleep_for(milliseconds(100));
    ear.listen();
    while (ear.heard() < 44100 && Clock::now() < deadline + std::chrono::seconds(5))
        std::this_thread::sleep_for(milliseconds(10));
    ASSERT_EQ(ear.heard(), 44100u);

    // Where a heard frame sits in the ring, or -1.
    auto byteOf = [](float v) { return static_cast<int>(v * 128.0f) + 128; };
    auto ringFrameOf = [&](std::size_t k) {
        for (int i = 0; i < 4000; ++i) {
            if (ring.load(2 * i) == byteOf(ear.left(k)) && ring.load(2 * i + 1) == byteOf(ear.right(k)))
                return i;
        }
        return -1;
    };
    std::size_t ringFrames = 0;
    for (std::size_t k = 0; k < ear.heard(); ++k) ringFrames += ringFrameOf(k) >= 0;
    EXPECT_GT(ringFrames, ear.heard() * 9 / 10) << "the ports did not carry the ring";
#if !VOLTINA_UNDER_TSAN
    // Consecutive ring frames from heard frame `from` on.
    auto runFrom = [&](std::size_t from) {
        int frame = ringFrameOf(from);
        if (frame < 0) return std::size_t{0};
        std::size_t same = 0;
        for (std::size_t k = from; k < ear.heard(); ++k, frame = (frame + 1) % 4000) {
            if (ring.load(2 * frame) != byteOf(ear.left(k)) ||
                ring.load(2 * frame + 1) != byteOf(ear.right(k)))
                break;
            ++same;
        }
        return same;
    };
    // The first block heard may still be torn by the change (a client late in the new block size lets the
    // next one read the port buffer unfinished); from the next block on, every frame is the ring's next.
    // Under ThreadSanitizer the callbacks are slow enough to be late all the time: there only the frames
    // themselves are checked.
    std::size_t start = 0;
    while (start < 1024 && runFrom(start) < 64) ++start;
    ASSERT_LT(start, 1024u) << "no stretch of the ring was heard";
    EXPECT_EQ(runFrom(start), ear.heard() - start)
        << "a frame heard after " << start << " is not the ring's next";
#endif

    // A client that holds the graph up for a few periods: the server reports it to every client.
    // (jackd reports xruns of its own around a block size change.)
    const std::uint64_t before = device.xruns();
    for (int i = 0; i < 20 && device.xruns() == before; ++i) {
        ear.holdUpOnce(100);
        std::this_thread::sleep_for(milliseconds(300));
    }
    EXPECT_GT(device.xruns(), before);
    EXPECT_FALSE(device.failed());
    device.stop();
    EXPECT_TRUE(device.close());
    ASSERT_EQ(std::system("jack_bufsize 256 >/dev/null 2>&1"), 0);
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
