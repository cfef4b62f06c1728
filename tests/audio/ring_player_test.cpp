// The audio thread's copy out of the ring, and the resampler that plays the ring at another rate.
#include "audio/ring_player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "audio/ring_resampler.h"

namespace voltina {
namespace {

RingBuffer makeRing(int ringBytes, std::size_t capacity) {
    RingBuffer ring;
    ring.allocate(capacity);
    ring.setRingBytes(ringBytes);
    return ring;
}

TEST(RingPlayer, ConvertsBytesToS16AndWrapsAtTheRingLength) {
    // 3 played frames inside a larger block: the bytes past ringBytes must never be played.
    RingBuffer ring = makeRing(6, 16);
    const std::uint8_t bytes[16] = {0, 255, 128, 1, 129, 127, 77, 77, 77, 77, 77, 77, 77, 77, 77, 77};
    for (int i = 0; i < 16; ++i) ring.store(i, bytes[i]);
    RingPlayer player;
    player.attach(&ring, 2);

    std::vector<std::int16_t> out(2 * 7);
    player.renderS16(out.data(), 7);
    const std::vector<std::int16_t> expected = {-32768, 32512, 0, -32512, 256, -256,  // lap 1
                                                -32768, 32512, 0, -32512, 256, -256,  // lap 2
                                                -32768, 32512};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(player.position(), 7u);

    // The next call goes on from frame 7 mod 3 = 1.
    player.renderS16(out.data(), 1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], -32512);
    EXPECT_EQ(player.position(), 8u);
}

TEST(RingPlayer, SingleChannelDevicePlaysTheLeftByte) {
    RingBuffer ring = makeRing(4, 4);
    ring.store(0, 200);
    ring.store(1, 10);
    ring.store(2, 60);
    ring.store(3, 250);
    RingPlayer player;
    player.attach(&ring, 1);
    std::int16_t s16[3];
    player.renderS16(s16, 3);
    EXPECT_EQ(s16[0], 72 * 256);
    EXPECT_EQ(s16[1], -68 * 256);
    EXPECT_EQ(s16[2], 72 * 256);
    float f[2];
    player.renderFloat(f, 2);
    EXPECT_FLOAT_EQ(f[0], -68.0f / 128.0f);
    EXPECT_FLOAT_EQ(f[1], 72.0f / 128.0f);
    EXPECT_EQ(player.position(), 5u);
}

TEST(RingPlayer, AttachRestartsThePositionAtZero) {
    RingBuffer ring = makeRing(8, 8);
    RingPlayer player;
    player.attach(&ring, 2);
    std::int16_t out[10];
    player.renderS16(out, 5);
    player.attach(&ring, 2);
    EXPECT_EQ(player.position(), 0u);
}

// The GUI thread rewrites ring bytes while the audio thread plays them. Every sample that comes out must be
// one of the values written (no torn or invented bytes), and the position must only grow.
TEST(RingPlayer, PlaysWhileTheGuiThreadWritesTheRing) {
    RingBuffer ring = makeRing(512, 1024);
    ring.fill(100);
    RingPlayer player;
    player.attach(&ring, 2);
    std::atomic<bool> stop{false};
    std::atomic<int> strange{0};
    std::thread audio([&] {
        std::int16_t out[2 * 64];
        while (!stop.load()) {
            player.renderS16(out, 64);
            for (std::int16_t v : out) {
                if (v != (100 - 128) * 256 && v != (200 - 128) * 256) strange.fetch_add(1);
            }
        }
    });
    std::uint64_t last = 0;
    // Keep writing until the audio thread has played several laps, however late it was scheduled.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int pass = 0;
         pass < 200 || (player.position() < 4 * 256 && std::chrono::steady_clock::now() < deadline); ++pass) {
        for (int i = 0; i < ring.ringBytes(); ++i) ring.store(i, pass % 2 ? 200 : 100);
        const std::uint64_t now = player.position();
        EXPECT_GE(now, last);
        last = now;
    }
    stop.store(true);
    audio.join();
    EXPECT_EQ(strange.load(), 0);
    EXPECT_GT(player.position(), 0u);
}

TEST(RingResampler, KeepsThePositionInRingFrames) {
    RingBuffer ring = makeRing(2 * 1000, 4000);
    ring.fill(192);  // a constant +64, i.e. 0.5 full scale
    RingPlayer player;
    player.attach(&ring, 2);
    auto resampler = RingResampler::create(player, 11025, 44100);
    ASSERT_NE(resampler, nullptr);

    std::vector<float> out(2 * 4410);
    for (int block = 0; block < 10; ++block) resampler->read(out.data(), 4410);
    // 44100 device frames are one second: 11025 ring frames, give or take the filter's look-ahead.
    EXPECT_NEAR(static_cast<double>(player.position()), 11025.0, 300.0);
    // Once the filter has settled, a constant comes through as the same constant.
    for (std::size_t i = out.size() / 2; i < out.size(); ++i) ASSERT_NEAR(out[i], 0.5f, 0.01f);
}

TEST(RingResampler, KeepsThePitch) {
    // A 128 Hz sine in a ring at 11025 Hz, played at 44100 Hz: count the rising zero crossings of a second.
    const int ringFrames = 11025;
    RingBuffer ring = makeRing(2 * ringFrames, 2 * ringFrames);
    for (int f = 0; f < ringFrames; ++f) {
        const auto b =
            static_cast<std::uint8_t>(128 + std::lround(100 * std::sin(2 * M_PI * 128 * f / 11025.0)));
        ring.store(2 * f, b);
        ring.store(2 * f + 1, b);
    }
    RingPlayer player;
    player.attach(&ring, 2);
    auto resampler = RingResampler::create(player, 11025, 44100);
    ASSERT_NE(resampler, nullptr);
    std::vector<float> warmup(2 * 1024);
    resampler->read(warmup.data(), 1024);
    std::vector<float> out(2 * 44100);
    resampler->read(out.data(), 44100);
    int rising = 0;
    for (std::size_t i = 2; i < out.size(); i += 2) rising += out[i - 2] < 0.0f && out[i] >= 0.0f;
    EXPECT_NEAR(rising, 128, 2);
}

TEST(RingResampler, RefusesImpossibleRates) {
    RingBuffer ring = makeRing(8, 8);
    RingPlayer player;
    player.attach(&ring, 2);
    EXPECT_EQ(RingResampler::create(player, 0, 44100), nullptr);
    EXPECT_EQ(RingResampler::create(player, 11025, 0), nullptr);
}

}  // namespace
}  // namespace voltina
