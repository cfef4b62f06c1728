// The render gate, the start and stop of the sound, the timer procedure, the hooks on Qt's event loop and
// the message pump.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include "audio/audio_system.h"
#include "audio/gated_application.h"
#include "engine/defaults.h"
#include "fake_device.h"

namespace voltina {
namespace {

class Scheduling : public ::testing::Test {
  protected:
    Scheduling() : audio(state, hooks, std::make_unique<FakeDevice>(script, log)) {
        audio.setTickSource([this] { return now; });
    }
    void SetUp() override {
        ASSERT_TRUE(audio.initAudio());
        audio.setAudioReady(true);
    }
    void switchOn() {
        state.ring.fill(128);
        state.speakerOn = 1;
        audio.startSound();
    }
    // The device plays `frames` more frames, `ms` milliseconds pass, and the gate is called.
    void gateAfter(std::uint32_t ms, std::uint64_t frames = 100) {
        now += ms;
        script.position += frames;
        audio.renderIfDue();
    }

    std::uint32_t now = 5000;
    EngineState state;
    RecordingHooks hooks;
    FakeDeviceScript script;
    FakeDeviceLog log;
    AudioSystem audio;
};

TEST_F(Scheduling, GateRendersAtMostEvery100Ms) {
    switchOn();
    EXPECT_EQ(audio.lastRenderTick(), 5000u);
    gateAfter(99);
    EXPECT_EQ(audio.renders(), 0u);  // the first render no sooner than 100 ms after startSound
    gateAfter(1);
    EXPECT_EQ(audio.renders(), 1u);
    EXPECT_EQ(audio.lastRenderTick(), 5100u);
    EXPECT_EQ(state.lastFramePos, 200);
    gateAfter(99);
    EXPECT_EQ(audio.renders(), 1u);
    gateAfter(1);
    EXPECT_EQ(audio.renders(), 2u);
    gateAfter(5000);
    EXPECT_EQ(audio.renders(), 3u);
    EXPECT_EQ(audio.lastRenderTick(), 10200u);
}

TEST_F(Scheduling, SpeakerOffNeverRenders) {
    switchOn();
    state.speakerOn = 0;
    for (int i = 0; i < 10; ++i) gateAfter(500);
    EXPECT_EQ(audio.renders(), 0u);
    EXPECT_EQ(log.positionReads, 0);
}

TEST_F(Scheduling, TickCountWrapsAround) {
    now = 0xFFFFFFF0u;
    switchOn();
    gateAfter(50);  // now 0x22 after the wrap: 50 ms, not 4 billion
    EXPECT_EQ(audio.renders(), 0u);
    gateAfter(50);
    EXPECT_EQ(audio.renders(), 1u);
    EXPECT_EQ(audio.lastRenderTick(), 0x54u);
}

TEST_F(Scheduling, LostPositionStopsTheSoundWithOneMessage) {
    state.recordOn = 1;
    switchOn();
    ASSERT_NE(audio.timerId(), 0);
    script.positionOk = false;
    gateAfter(100);
    EXPECT_EQ(hooks.messages, std::vector<std::string>{kPositionLostMessage});
    EXPECT_EQ(state.speakerOn, 0);
    EXPECT_EQ(audio.timerId(), 0);
    EXPECT_FALSE(audio.deviceOpen());
    EXPECT_EQ(hooks.saves, 1);                            // the recording is offered
    EXPECT_EQ(hooks.speakerStates, std::vector<int>{0});  // and H.P shows that nothing plays
    const int reads = log.positionReads;
    for (int i = 0; i < 5; ++i) gateAfter(200);
    EXPECT_EQ(log.positionReads, reads);
    EXPECT_EQ(hooks.messages.size(), 1u);
}

TEST_F(Scheduling, FailedDeviceIsNoticedWithoutWaitingForTheNextRender) {
    switchOn();
    gateAfter(100);
    ASSERT_EQ(audio.renders(), 1u);
    script.failed = true;  // the server died: the error callback raised the flag
    gateAfter(10);
    EXPECT_EQ(hooks.messages, std::vector<std::string>{kPositionLostMessage});
    EXPECT_EQ(state.speakerOn, 0);
}

TEST_F(Scheduling, StaleLapsAreCounted) {
    switchOn();
    const std::uint64_t ringFrames = static_cast<std::uint64_t>(state.ring.ringFrames());
    gateAfter(100, ringFrames - 1);  // just under a lap: nothing lost
    EXPECT_EQ(audio.staleLaps(), 0u);
    gateAfter(100, ringFrames);  // exactly a lap: the engine's time skips it
    EXPECT_EQ(audio.staleLaps(), 1u);
    gateAfter(100, 2 * ringFrames + 7);
    EXPECT_EQ(audio.staleLaps(), 3u);
    EXPECT_EQ(audio.staleFrames(), 3 * ringFrames);
    EXPECT_NE(audio.statsText().find("3"), std::string::npos);
}

// A device that stops taking frames (a stalled graph, skipped periods) is said once per stream and counted
// each time; the sound stays on, to be heard again when the device resumes.
TEST_F(Scheduling, StalledDeviceIsSaidOnceAndCounted) {
    switchOn();
    for (int i = 0; i < 5; ++i) gateAfter(100);
    for (int i = 0; i < 8; ++i) gateAfter(100, 0);
    EXPECT_TRUE(hooks.messages.empty());
    EXPECT_EQ(audio.stalls(), 0u);
    gateAfter(100, 0);  // 900 ms without a frame
    EXPECT_EQ(hooks.messages, std::vector<std::string>{kStalledMessage});
    EXPECT_EQ(audio.stalls(), 1u);
    for (int i = 0; i < 20; ++i) gateAfter(100, 0);
    EXPECT_EQ(audio.stalls(), 1u);
    gateAfter(100);
    for (int i = 0; i < 10; ++i) gateAfter(100, 0);
    EXPECT_EQ(audio.stalls(), 2u);
    EXPECT_EQ(hooks.messages.size(), 1u);
    EXPECT_EQ(state.speakerOn, 1);
    EXPECT_TRUE(audio.deviceOpen());
    EXPECT_NE(audio.statsText().find("stalls: 2"), std::string::npos) << audio.statsText();
    // A stream that never starts is a stall too.
    audio.stopSound();
    switchOn();
    for (int i = 0; i < 10; ++i) gateAfter(100, 0);
    EXPECT_EQ(audio.stalls(), 3u);
    EXPECT_EQ(hooks.messages.size(), 2u);
}

TEST_F(Scheduling, StopSoundClosesAndClearsTheSpeaker) {
    switchOn();
    EXPECT_TRUE(audio.soundTimerActive());
    audio.stopSound();
    EXPECT_FALSE(audio.deviceOpen());
    EXPECT_EQ(audio.timerId(), 0);
    EXPECT_EQ(state.speakerOn, 0);
    // Without audio the switch only clears the speaker.
    audio.setAudioReady(false);
    state.speakerOn = 1;
    audio.startSound();
    EXPECT_FALSE(audio.deviceOpen());
    EXPECT_EQ(audio.timerId(), 0);
}

TEST_F(Scheduling, TimerStartsEvenWhenTheDeviceDoesNotOpen) {
    script.openOk = false;
    switchOn();
    EXPECT_NE(audio.timerId(), 0);
    gateAfter(100);
    EXPECT_EQ(log.positionReads, 0);  // the render loop does nothing without a device
}

// Runs the event loop until `done` or `ms` milliseconds of real time have passed.
template <typename Done>
void spin(int ms, Done done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

class RealTime : public ::testing::Test {
  protected:
    RealTime() : audio(state, hooks, std::make_unique<FakeDevice>(script, log)) {}
    void SetUp() override {
        ASSERT_TRUE(audio.initAudio());
        audio.setAudioReady(true);
    }
    EngineState state;
    RecordingHooks hooks;
    FakeDeviceScript script;
    FakeDeviceLog log;
    AudioSystem audio;
};

TEST_F(RealTime, FirstStartUpTickSwitchesTheSoundOnAndHooksTheMouse) {
    hooks.onFirstTick = [this] {
        // what the panel's H.P command does
        state.ring.fill(128);
        state.speakerOn = 1;
        audio.startSound();
    };
    QElapsedTimer t;
    t.start();
    audio.startStartupTimer();
    EXPECT_EQ(audio.startupPending(), 1);
    EXPECT_NE(audio.timerId(), 0);
    spin(5000, [this] { return hooks.firstTicks > 0; });
    ASSERT_EQ(hooks.firstTicks, 1);
    EXPECT_GE(t.elapsed(), 290);
    EXPECT_EQ(audio.startupPending(), 0);
    EXPECT_TRUE(audio.mouseHookInstalled());
    EXPECT_TRUE(audio.deviceOpen());
    EXPECT_TRUE(audio.soundTimerActive());
    spin(300, [] { return false; });
    EXPECT_EQ(hooks.firstTicks, 1);  // one start-up tick only
    audio.stopSound();
    audio.removeMouseHook();
    EXPECT_FALSE(audio.mouseHookInstalled());
}

TEST_F(RealTime, SoundTimerKeepsRenderingInsideAModalDialog) {
    state.speakerOn = 1;
    audio.startSound();
    QDialog dialog;
    QTimer::singleShot(650, &dialog, &QDialog::accept);
    QTimer feeder;  // the device plays on while the dialog runs its own loop
    QObject::connect(&feeder, &QTimer::timeout, [this] { script.position += 50; });
    feeder.start(5);
    dialog.exec();
    // 650 ms at one render per 100 ms: allow a loaded machine to drop some ticks.
    EXPECT_GE(audio.renders(), 3u);
    EXPECT_LE(audio.renders(), 7u);
    audio.stopSound();
}

TEST_F(RealTime, MouseHookAndTheApplicationsLoopCallTheGate) {
    std::uint32_t now = 1000;
    audio.setTickSource([&now] { return now; });
    state.speakerOn = 1;
    audio.startSound();
    audio.installMouseHook();
    QWidget widget;
    now += 100;
    QMouseEvent move(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
    EXPECT_EQ(audio.renders(), 1u);
    now += 100;
    QEvent other(QEvent::User);
    QApplication::sendEvent(&widget, &other);
    EXPECT_EQ(audio.renders(), 1u);  // the mouse hook ignores other events
    audio.removeMouseHook();

    GatedApplication* app = GatedApplication::gated();
    ASSERT_NE(app, nullptr);
    app->setGate([this] { audio.renderIfDue(); });
    QApplication::sendEvent(&widget, &other);
    EXPECT_EQ(audio.renders(), 2u);
    now += 100;
    QTimerEvent timerEvent(12345);
    QApplication::sendEvent(&widget, &timerEvent);
    EXPECT_EQ(audio.renders(), 2u);  // timer events reach the gate through onSoundTick only
    // The idle hook: the loop about to wait renders.
    QApplication::processEvents(QEventLoop::AllEvents);
    spin(50, [this] { return audio.renders() >= 3u; });
    EXPECT_GE(audio.renders(), 3u);
    app->setGate(nullptr);
    audio.stopSound();
}

class PaintCounter : public QWidget {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

TEST_F(RealTime, PumpReturnsAtOnceOnAnEmptyQueue) {
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    audio.pumpUntilPainted(nullptr);
    EXPECT_LT(t.elapsed(), 100);
}

TEST_F(RealTime, PumpReturnsOnceTheWindowHasBeenPainted) {
    PaintCounter widget;
    widget.resize(50, 50);
    widget.show();
    spin(500, [&] { return widget.paints > 0; });
    ASSERT_GT(widget.paints, 0);
    const int before = widget.paints;
    widget.update();
    audio.pumpUntilPainted(&widget);
    EXPECT_EQ(widget.paints, before + 1);
}

TEST_F(RealTime, PumpGivesUpAfterThreeSeconds) {
    // A widget that never repaints and a queue that never runs dry.
    std::uint32_t now = 0;
    int reads = 0;
    audio.setTickSource([&] {
        ++reads;
        return now += 500;
    });
    QWidget hidden;
    QTimer busy;
    busy.start(0);
    audio.pumpUntilPainted(&hidden);
    busy.stop();
    // start, then 500, 1000 ... 3500 ms: the pump stops once more than 3000 ms have passed.
    EXPECT_EQ(reads, 8);
}

}  // namespace
}  // namespace voltina
