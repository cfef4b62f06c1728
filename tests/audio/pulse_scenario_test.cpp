// The whole scheduler playing the default patch through a private PulseAudio server: the sink's monitor
// must give back exactly the frames the engine rendered, in order, one lap after they were written.
// Run through tests/support/with_pulse_null_sink.sh --rate RATE.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "scenario_support.h"

namespace voltina {
namespace {

int sinkRate() {
    const char* rate = std::getenv("VOLTINA_TEST_PULSE_RATE");
    return rate ? std::atoi(rate) : 0;
}

std::string capturePath(const char* name) {
    return std::string(std::getenv("PULSE_RUNTIME_PATH")) + "/" + name + ".raw";
}

void playAndCompare(bool guiStalls) {
    const int rate = sinkRate();
    ASSERT_TRUE(rate == 11025 || rate == 22050 || rate == 44100) << "run through with_pulse_null_sink.sh";
    ScenarioPlayer player(RtBackend::Pulse, rate);
    ASSERT_EQ(player.audio.audioReady(), 1) << player.firstMessage();

    MonitorCapture capture;
    ASSERT_TRUE(capture.start(capturePath(guiStalls ? "stalls" : "plain"), rate));
    runEventLoop(700);  // let the recorder connect before the first frame

    // A user dragging things about: the GUI thread is busy for 50 ms every 120 ms.
    QTimer stall;
    QObject::connect(&stall, &QTimer::timeout,
                     [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
    if (guiStalls) stall.start(120);

    player.switchOn(true);
    ASSERT_TRUE(player.audio.deviceOpen());
    // Ten seconds of sound and a little more, however long a loaded machine takes to start the stream.
    const std::uint32_t wantedBytes =
        static_cast<std::uint32_t>(rate) * 2 * 10 + static_cast<std::uint32_t>(rate);
    for (int waited = 0; waited < 30000 && player.audio.takeBytes() < wantedBytes; waited += 100)
        runEventLoop(100);
    stall.stop();
    player.audio.stopSound();
    runEventLoop(700);
    const std::vector<std::int16_t> captured = capture.stop();

    EXPECT_TRUE(player.hooks.messages.empty()) << player.hooks.messages[0];
    ASSERT_EQ(player.hooks.saves, 1);
    const std::vector<std::uint8_t>& recorded = player.hooks.saved;
    const std::size_t ringFrames = static_cast<std::size_t>(player.state.ring.ringFrames());
    ASSERT_GE(recorded.size() / 2, static_cast<std::size_t>(rate) * 10);

    std::size_t sounding = 0;
    for (std::size_t i = 0; i + 1 < recorded.size(); i += 2)
        sounding += recorded[i] != 128 || recorded[i + 1] != 128;
    ASSERT_GT(sounding, recorded.size() / 2 / 10) << "the default patch should sound";

    const CaptureComparison cmp = compareCapture(captured, recorded);
    std::printf(
        "rate %d%s: %zu frames recorded, %zu captured, %zu compared, underrun runs %d (%zu frames), "
        "%zu silent frames before the first, stale laps %llu\n",
        rate, guiStalls ? " with GUI stalls" : "", recorded.size() / 2, captured.size() / 2, cmp.compared,
        cmp.underrunRuns, cmp.underrunFrames, cmp.silentBefore,
        static_cast<unsigned long long>(player.audio.staleLaps()));
    ::testing::Test::RecordProperty("underrunRuns", cmp.underrunRuns);
    ASSERT_TRUE(cmp.found) << cmp.problem;
    EXPECT_EQ(cmp.problem, "");
    // The first lap the device plays is the silence the ring was filled with.
    EXPECT_GE(cmp.silentBefore, ringFrames);
    // Everything played was compared: all but the last lap (never played) and what the server still held
    // when the stream closed.
    EXPECT_GE(cmp.compared + ringFrames + static_cast<std::size_t>(rate) / 4, recorded.size() / 2);
    EXPECT_EQ(player.audio.staleLaps(), 0u);
    // Underruns should be rare: tolerate a few on a loaded machine, not a stream of them.
    EXPECT_LE(cmp.underrunRuns, 5);
}

TEST(PulseCapture, EveryFrameArrivesInOrder) {
    playAndCompare(false);
}

TEST(PulseCapture, EveryFrameArrivesInOrderThroughGuiStalls) {
    playAndCompare(true);
}

TEST(PulseServerKilled, TheProgramSurvivesAndSaysSo) {
    const char* pid = std::getenv("VOLTINA_TEST_PULSE_PID");
    ASSERT_NE(pid, nullptr) << "run through with_pulse_null_sink.sh";
    ScenarioPlayer player(RtBackend::Pulse, 11025);
    ASSERT_EQ(player.audio.audioReady(), 1);
    player.switchOn(true);
    ASSERT_TRUE(player.audio.deviceOpen());
    runEventLoop(1500);
    ASSERT_TRUE(player.hooks.messages.empty());

    ASSERT_EQ(kill(std::atoi(pid), SIGKILL), 0);
    QElapsedTimer sinceKill;
    sinceKill.start();
    while (player.hooks.messages.empty() && sinceKill.elapsed() < 10000) runEventLoop(5);
    const qint64 noticedMs = sinceKill.elapsed();
    ASSERT_EQ(player.hooks.messages, std::vector<std::string>{kPositionLostMessage});
    EXPECT_LT(noticedMs, 2000);
    std::printf("the lost server was reported after %lld ms\n", static_cast<long long>(noticedMs));
    EXPECT_EQ(player.state.speakerOn, 0);
    EXPECT_FALSE(player.audio.deviceOpen());
    EXPECT_EQ(player.audio.timerId(), 0);
    EXPECT_EQ(player.hooks.saves, 1);  // what was recorded is offered
    EXPECT_GT(player.hooks.saved.size(), 0u);

    runEventLoop(300);
    EXPECT_EQ(player.hooks.messages.size(), 1u);
    // Switching on again without a server: the device does not open, and the program goes on.
    player.switchOn(false);
    EXPECT_FALSE(player.audio.deviceOpen());
    EXPECT_EQ(player.hooks.messages.back(), kOpenMessage);
    runEventLoop(300);
    player.audio.stopSound();
}

}  // namespace
}  // namespace voltina
