// Voltina on a JACK server at 44100 Hz with its ring at 11025 Hz: a client connected to Voltina's output
// ports hears the default patch, whose 256 Hz square sounds an octave down, at 128 Hz.
// Then the server dies under the playing program. Run through tests/support/with_jack_dummy.sh --rate 44100;
// JackServerKilled.* kills the server and runs alone.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>

#include <QElapsedTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "jack_death.h"
#include "jack_ear.h"
#include "scenario_support.h"

namespace voltina {
namespace {

using test::JackEar;

double goertzel(const JackEar& ear, std::size_t from, std::size_t count, double frequency, int rate) {
    const double w = 2 * M_PI * frequency / rate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double s0 = ear.sample(from + i) + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - coeff * s1 * s2);
}

TEST(JackDummy, HearsTheDefaultPatchAt128Hz) {
    ASSERT_NE(std::getenv("VOLTINA_TEST_JACK_PID"), nullptr) << "run through with_jack_dummy.sh";
    ScenarioPlayer player(AudioBackend::Jack, 0);
    ScenarioHooks& hooks = player.hooks;
    AudioSystem& audio = player.audio;
    ASSERT_TRUE(audio.audioReady()) << player.firstMessage();
    EXPECT_EQ(audio.waveFormat().sampleRate, 11025);

    JackEar ear(44100 * 3);
    ASSERT_TRUE(ear.open());
    ASSERT_EQ(ear.rate(), 44100);
    player.switchOn(false);
    ASSERT_TRUE(audio.deviceOpen()) << player.firstMessage();
    ASSERT_EQ(ear.connectFrom("Voltina"), 2);
    // The first lap is the silence the ring was filled with: listen once the patch is playing.
    runEventLoop(800);
    ear.listen();
    QElapsedTimer t;
    t.start();
    while (ear.heard() < 44100 * 3 && t.elapsed() < 20000) runEventLoop(20);
    audio.stopSound();
    ASSERT_GE(ear.heard(), 44100u * 3);
    EXPECT_TRUE(hooks.messages.empty());

    // The patch's slow oscillators modulate the square, so its components come in clusters a few hertz
    // apart: nothing strong below the first cluster, whose weighted centre is the fundamental.
    const std::size_t from = 44100 / 2, count = 2 * 44100;
    double strongest = 0, strongestBelow = 0, strongestInBand = 0, weight = 0, weightedFrequency = 0;
    for (double f = 40; f <= 1000; f += 0.5) {
        const double m = goertzel(ear, from, count, f, 44100);
        strongest = std::max(strongest, m);
        if (f < 110) strongestBelow = std::max(strongestBelow, m);
        if (f >= 113 && f <= 143) {
            strongestInBand = std::max(strongestInBand, m);
            weight += m * m;
            weightedFrequency += f * m * m;
        }
    }
    ASSERT_GT(weight, 0.0);
    const double fundamental = weightedFrequency / weight;
    std::printf("fundamental cluster centred on %.2f Hz\n", fundamental);
    EXPECT_NEAR(fundamental, 128.0, 1.5);
    EXPECT_GT(strongestInBand, 0.5 * strongest);
    EXPECT_LT(strongestBelow, 0.2 * strongest);
}

// A graph that stops (the server frozen) leaves Voltina's ports silent: the program says so once within a
// second, counts the stall, and plays on when the graph resumes.
TEST(JackDummy, AStalledGraphIsSaidOnceAndCounted) {
    ASSERT_TRUE(test::jackServerGiven()) << "run through with_jack_dummy.sh";
    const pid_t server = static_cast<pid_t>(std::atol(std::getenv("VOLTINA_TEST_JACK_PID")));
    ScenarioPlayer player(AudioBackend::Jack, 0);
    ASSERT_TRUE(player.audio.audioReady()) << player.firstMessage();
    player.switchOn(false);
    ASSERT_TRUE(player.audio.deviceOpen()) << player.firstMessage();
    runEventLoop(1000);
    ASSERT_TRUE(player.hooks.messages.empty()) << player.hooks.messages[0];

    ASSERT_EQ(kill(server, SIGSTOP), 0);
    QElapsedTimer sinceStop;
    sinceStop.start();
    while (player.hooks.messages.empty() && sinceStop.elapsed() < 5000) runEventLoop(5);
    const qint64 noticedMs = sinceStop.elapsed();
    runEventLoop(500);
    ASSERT_EQ(kill(server, SIGCONT), 0);
    std::printf("the stalled graph was reported after %lld ms\n", static_cast<long long>(noticedMs));
    EXPECT_EQ(player.hooks.messages, std::vector<std::string>{kStalledMessage});
    EXPECT_LT(noticedMs, 1500);
    EXPECT_EQ(player.audio.stalls(), 1u);

    std::uint64_t before = 0, after = 0;
    ASSERT_TRUE(player.audio.device().position(before));
    runEventLoop(1500);
    ASSERT_TRUE(player.audio.device().position(after));
    EXPECT_GT(after, before + 11025);
    EXPECT_EQ(player.hooks.messages.size(), 1u);
    EXPECT_EQ(player.audio.stalls(), 1u);
    EXPECT_TRUE(player.audio.deviceOpen());
    EXPECT_NE(player.audio.statsText().find("stalls: 1"), std::string::npos) << player.audio.statsText();
    player.audio.stopSound();
}

// The program's side of a JACK server that crashes mid-stream: one message, the sound off, the recording
// offered, nothing from the libraries on the terminal, and switching on again says the driver cannot open.
TEST(JackServerKilled, TheProgramSurvivesAndSaysSo) {
    ASSERT_TRUE(test::jackServerGiven()) << "run through with_jack_dummy.sh";
    ScenarioPlayer player(AudioBackend::Jack, 0);
    EngineState& state = player.state;
    ScenarioHooks& hooks = player.hooks;
    AudioSystem& audio = player.audio;
    ASSERT_TRUE(audio.audioReady()) << player.firstMessage();
    player.switchOn(true);
    ASSERT_TRUE(audio.deviceOpen());
    runEventLoop(1000);
    ASSERT_TRUE(hooks.messages.empty()) << hooks.messages[0];
    ASSERT_GT(audio.renders(), 0u);

    qint64 noticedMs = 0;
    std::string printed;
    {
        test::StderrCapture stderrCapture;
        ASSERT_TRUE(stderrCapture.capturing());
        QElapsedTimer sinceKill;
        sinceKill.start();
        ASSERT_TRUE(test::endJackServer(SIGKILL));
        while (hooks.messages.empty() && sinceKill.elapsed() < 5000) runEventLoop(5);
        noticedMs = sinceKill.elapsed();
        runEventLoop(300);
        EXPECT_EQ(hooks.messages, std::vector<std::string>{kPositionLostMessage});
        EXPECT_EQ(state.speakerOn, 0);
        EXPECT_FALSE(audio.deviceOpen());
        EXPECT_EQ(audio.timerId(), 0);
        EXPECT_EQ(hooks.saves, 1);
        EXPECT_GT(hooks.saved.size(), 0u);

        player.switchOn(false);
        EXPECT_FALSE(audio.deviceOpen());
        EXPECT_EQ(hooks.messages.back(), kOpenMessage);
        runEventLoop(300);
        audio.stopSound();
        EXPECT_EQ(hooks.messages.size(), 2u);
        printed = stderrCapture.text();
    }
    test::reclaimJackServer();
    EXPECT_EQ(printed, "");
    // The kill itself takes up to a few tens of milliseconds to be seen by the client.
    EXPECT_LT(noticedMs, 500);
    std::printf("the killed server was reported after %lld ms\n", static_cast<long long>(noticedMs));
}

}  // namespace
}  // namespace voltina
