// Voltina on PipeWire's JACK, the graph at 11025 Hz with its block size forced before Voltina starts and
// changed while it plays: a client connected to Voltina's ports hears exactly what voltina-render renders
// for the default patch, allowing for one graph cycle that a client lost. Run through
// tests/support/with_pipewire.sh --rate 11025 --quantum 256 -- pw-jack.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "jack_ear.h"
#include "scenario_support.h"

namespace voltina {
namespace {

// The default patch as voltina-render renders it: 8-bit stereo frames at 11025 Hz.
std::vector<std::uint8_t> renderedFrames(std::size_t frames) {
    const std::string path = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/render.wav";
    const std::string command =
        std::string(VOLTINA_RENDER_BINARY) + " --frames " + std::to_string(frames) + " -o " + path;
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr std::size_t kHeader = 44;
    if (bytes.size() != kHeader + 2 * frames) return {};
    return std::vector<std::uint8_t>(bytes.begin() + kHeader, bytes.end());
}

void forceQuantum(int frames) {
    const std::string command =
        "pw-metadata -n settings 0 clock.force-quantum " + std::to_string(frames) + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

TEST(PipeWireJack, FollowsTheGraphAndPlaysWhatTheRendererRenders) {
    ASSERT_NE(std::getenv("VOLTINA_TEST_PIPEWIRE_PID"), nullptr) << "run through with_pipewire.sh";
    ScenarioPlayer player(AudioBackend::Jack, 0);
    ASSERT_TRUE(player.audio.audioReady()) << player.firstMessage();
    constexpr std::size_t kFrames = 11025 * 8;
    test::JackEar ear(kFrames);
    ASSERT_TRUE(ear.open());
    ASSERT_EQ(ear.rate(), 11025);
    // The block size the library reported at open is not the graph's (256, forced by the wrapper).
    player.switchOn(false);
    ASSERT_TRUE(player.audio.deviceOpen()) << player.firstMessage();
    ASSERT_EQ(ear.connectFrom("Voltina"), 2);
    ear.listen();
    QElapsedTimer t;
    t.start();
    while (ear.heard() < kFrames / 3 && t.elapsed() < 20000) runEventLoop(20);
    // A recorder that starts elsewhere, or the user, changes the graph's block size while Voltina plays.
    ASSERT_NO_FATAL_FAILURE(forceQuantum(1024));
    while (ear.heard() < kFrames && t.elapsed() < 40000) runEventLoop(20);
    player.audio.stopSound();
    ASSERT_EQ(ear.heard(), kFrames);
    EXPECT_TRUE(player.hooks.messages.empty()) << player.hooks.messages[0];
    EXPECT_EQ(player.audio.stalls(), 0u);

    std::vector<std::int16_t> captured(2 * kFrames);
    std::size_t sounding = 0;
    for (std::size_t i = 0; i < kFrames; ++i) {
        captured[2 * i] = static_cast<std::int16_t>(std::lround(ear.left(i) * 32768.0f));
        captured[2 * i + 1] = static_cast<std::int16_t>(std::lround(ear.right(i) * 32768.0f));
        sounding += captured[2 * i] != 0 || captured[2 * i + 1] != 0;
    }
    EXPECT_GT(sounding, kFrames / 4) << "the ports carried silence";

    // The capture starts with the ring's first lap of silence: the render it holds is a little shorter.
    const std::vector<std::uint8_t> rendered = renderedFrames(kFrames);
    ASSERT_FALSE(rendered.empty());
    const CaptureComparison cmp = compareCapture(captured, rendered, 1024);
    std::printf(
        "%zu frames compared from capture frame %zu, %d lost cycles, %d underrun runs, stale laps %llu\n",
        cmp.compared, cmp.startFrame, cmp.lostCycles, cmp.underrunRuns,
        static_cast<unsigned long long>(player.audio.staleLaps()));
    ASSERT_TRUE(cmp.found) << cmp.problem;
    EXPECT_EQ(cmp.problem, "");
    EXPECT_LE(cmp.lostCycles + cmp.underrunRuns, 1);
    EXPECT_GE(cmp.compared + cmp.startFrame + 2048, kFrames);
}

}  // namespace
}  // namespace voltina
