// The whole scheduler playing the default patch through a private PulseAudio server: the sink's monitor
// must give back exactly the frames the engine rendered, in order, one lap after they were written.
// Run through tests/support/with_pulse_null_sink.sh --rate RATE.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>
#include <algorithm>
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
    ScenarioPlayer player(AudioBackend::Pulse, rate);
    ASSERT_TRUE(player.audio.audioReady()) << player.firstMessage();

    MonitorCapture capture;
    ASSERT_TRUE(capture.start(capturePath(guiStalls ? "stalls" : "plain"), rate));
    runEventLoop(700);  // let the recorder connect before the first frame

    // A user dragging things about: the GUI thread is busy for 50 ms every 120 ms.
    QTimer stall;
    QObject::connect(&stall, &QTimer::timeout,
                     [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
    if (guiStalls) stall.start(120);

    player.switchOn(true);
    ASSERT_TRUE(player.audio.deviceOpen()) << player.firstMessage();
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

long residentKilobytes() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
    std::fclose(status);
    return kb;
}

// Run by bench/soak.sh only (not part of the test suite): VOLTINA_SOAK_SECONDS (default 600) at the
// sink's rate with the record switch on, while the GUI thread stalls for 50 ms every 120 ms, a menu
// opens and closes every few seconds and a modal dialog stays open for 20 s of every minute. The capture
// must equal the recording sample for sample, with no frame lost and the memory flat.
TEST(Soak, LongRecordingWithABusyGui) {
    const int rate = sinkRate();
    ASSERT_GT(rate, 0) << "run through with_pulse_null_sink.sh";
    const char* soak = std::getenv("VOLTINA_SOAK_SECONDS");
    const int seconds = soak ? std::atoi(soak) : 600;
    ScenarioPlayer player(AudioBackend::Pulse, rate);
    ASSERT_TRUE(player.audio.audioReady()) << player.firstMessage();
    MonitorCapture capture;
    ASSERT_TRUE(capture.start(capturePath("soak"), rate));
    runEventLoop(700);

    QTimer stall;
    QObject::connect(&stall, &QTimer::timeout,
                     [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
    QMenu menu;
    for (const char* item : {"Load", "Save", "Rate", "Help", "Quit"}) menu.addAction(item);
    QTimer menus;
    QObject::connect(&menus, &QTimer::timeout, [&menu] {
        menu.popup(QPoint(10, 10));
        QTimer::singleShot(800, &menu, &QMenu::close);
    });
    QTimer dialogs;
    QObject::connect(&dialogs, &QTimer::timeout, [] {
        QDialog dialog;
        QTimer::singleShot(20000, &dialog, &QDialog::accept);
        dialog.exec();
    });
    player.switchOn(true);
    ASSERT_TRUE(player.audio.deviceOpen());
    stall.start(120);
    menus.start(3000);
    dialogs.start(60000);
    QElapsedTimer clock;
    clock.start();
    std::vector<long> resident;
    const std::uint64_t wantedBytes =
        static_cast<std::uint64_t>(rate) * 2 * static_cast<std::uint64_t>(seconds);
    while (player.audio.takeBytes() < wantedBytes && clock.elapsed() < 1000LL * (seconds + 120)) {
        runEventLoop(1000);
        if (clock.elapsed() > 30000) resident.push_back(residentKilobytes());
    }
    stall.stop();
    menus.stop();
    dialogs.stop();
    player.audio.stopSound();
    runEventLoop(700);
    const std::vector<std::int16_t> captured = capture.stop();
    const std::vector<std::uint8_t>& recorded = player.hooks.saved;
    ASSERT_EQ(player.hooks.saves, 1);
    const CaptureComparison cmp = compareCapture(captured, recorded);
    const long lowest = resident.empty() ? 0 : *std::min_element(resident.begin(), resident.end());
    const long highest = resident.empty() ? 0 : *std::max_element(resident.begin(), resident.end());
    std::printf(
        "soak at %d Hz: %.1f s recorded, %zu frames compared, underrun runs %d (%zu frames), stale laps "
        "%llu, "
        "renders %llu, resident memory after the first 30 s %ld..%ld kB (%.0f s of sound in memory would "
        "be %llu kB)\n",
        rate, static_cast<double>(recorded.size()) / 2 / rate, cmp.compared, cmp.underrunRuns,
        cmp.underrunFrames, static_cast<unsigned long long>(player.audio.staleLaps()),
        static_cast<unsigned long long>(player.audio.renders()), lowest, highest,
        static_cast<double>(seconds), static_cast<unsigned long long>(wantedBytes / 1024));
    EXPECT_TRUE(player.hooks.messages.empty()) << player.hooks.messages[0];
    ASSERT_TRUE(cmp.found) << cmp.problem;
    EXPECT_EQ(cmp.problem, "");
    EXPECT_GE(cmp.compared + static_cast<std::size_t>(player.state.ring.ringFrames()) +
                  static_cast<std::size_t>(rate) / 4,
              recorded.size() / 2);
    // No frame lost: every recorded frame came back in order. The server fills in silence when the client
    // is late (an underrun), which a loaded machine sees now and then: a few, not a stream of them.
    EXPECT_LE(cmp.underrunRuns, 5);
    EXPECT_EQ(player.audio.staleLaps(), 0u);
    // Flat: the take is on disk, not in memory (the capture's own copy is read only at the end).
    EXPECT_LT(highest - lowest, 16 * 1024);
}

TEST(PulseServerKilled, TheProgramSurvivesAndSaysSo) {
    const char* pid = std::getenv("VOLTINA_TEST_PULSE_PID");
    ASSERT_NE(pid, nullptr) << "run through with_pulse_null_sink.sh";
    ScenarioPlayer player(AudioBackend::Pulse, 11025);
    ASSERT_TRUE(player.audio.audioReady());
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
