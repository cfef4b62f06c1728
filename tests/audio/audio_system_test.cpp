// The output half of AudioSystem: initialisation, opening and closing, the recording hand-off, and the
// change of the sample rate.
#include "audio/audio_system.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <memory>
#include <thread>

#include "audio/take_spool.h"
#include "engine/tables.h"
#include "fake_device.h"
#include "tests/support/small_disk.h"

namespace voltina {
namespace {

class AudioOutput : public ::testing::Test {
  protected:
    AudioOutput() : audio(state, hooks, std::make_unique<FakeDevice>(script, log)) {}

    // What the H.P switch does before it asks for the sound.
    void switchOn() {
        state.ring.fill(128);
        state.speakerOn = 1;
        audio.startSound();
    }

    EngineState state;
    RecordingHooks hooks;
    FakeDeviceScript script;
    FakeDeviceLog log;
    AudioSystem audio;
};

TEST_F(AudioOutput, StartUpInitialisationBuildsTablesRingAndFormat) {
    EXPECT_EQ(state.ring.ringBytes(), 6536);  // the start-up length, before any rate change
    ASSERT_TRUE(audio.initAudio());
    EXPECT_EQ(state.sineTable, buildSineTable(11026));
    EXPECT_EQ(state.ring.capacity(), 4u * 11026u);
    EXPECT_EQ(state.ring.ringBytes(), 6536);
    EXPECT_EQ(state.ring.load(0), 0);  // a fresh ring is zeros, not silence
    const DeviceFormat& f = audio.waveFormat();
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.sampleRate, 11025);
    EXPECT_EQ(state.stereoOut, 1);
    EXPECT_TRUE(hooks.messages.empty());
}

TEST_F(AudioOutput, DeviceCheckFailures) {
    script.count = 0;
    EXPECT_FALSE(audio.initAudio());
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_EQ(hooks.messages[0], kNoCardMessage);
    EXPECT_EQ(state.sineTable.size(), 11026u);  // tables already rebuilt stay

    // Devices that describe themselves, none able to play the format.
    hooks.messages.clear();
    script.count = 2;
    script.caps = {DeviceCaps{"a", 2, false}, DeviceCaps{"b", 2, false}};
    EXPECT_FALSE(audio.initAudio());
    EXPECT_EQ(hooks.messages, std::vector<std::string>{kFormatMessage});

    // A machine whose only device cannot describe itself still gets a working initialisation.
    hooks.messages.clear();
    script.count = 1;
    script.capsFail = {true};
    EXPECT_TRUE(audio.initAudio());
    EXPECT_TRUE(hooks.messages.empty());
}

TEST_F(AudioOutput, TheScanStopsAtTheFirstSuitableDevice) {
    script.count = 3;
    script.caps = {DeviceCaps{"unsuitable", 1, false}, DeviceCaps{"good", 2, true},
                   DeviceCaps{"mono", 1, true}};
    EXPECT_TRUE(audio.initAudio());
    EXPECT_EQ(audio.deviceCaps().name, "good");
    EXPECT_EQ(audio.waveFormat().channels, 2);
}

TEST_F(AudioOutput, SingleChannelDeviceIsNotAFailure) {
    script.caps = {DeviceCaps{"mono", 1, true}};
    EXPECT_TRUE(audio.initAudio());
    EXPECT_EQ(hooks.messages, std::vector<std::string>{kMonoMessage});
    EXPECT_EQ(state.stereoOut, 0);
    EXPECT_EQ(audio.waveFormat().channels, 1);
    audio.setAudioReady(true);
    switchOn();
    EXPECT_EQ(log.lastFormat.channels, 1);
}

TEST_F(AudioOutput, NoMemoryStopsTheSoundForGood) {
    audio.setAudioReady(true);
    audio.setAllocationCheck([](std::size_t bytes) { return bytes != 4u * 11026u; });
    EXPECT_FALSE(audio.initAudio());
    EXPECT_EQ(hooks.messages, std::vector<std::string>{kInitMessage});
    EXPECT_FALSE(audio.audioReady());
    switchOn();
    EXPECT_EQ(log.opens, 0);  // H.P does not open the device
}

TEST_F(AudioOutput, OpenFailuresCloseTheDeviceAgain) {
    ASSERT_TRUE(audio.initAudio());
    audio.setAudioReady(true);

    script.openOk = false;
    audio.openAudio();
    EXPECT_EQ(hooks.messages, std::vector<std::string>{kOpenMessage});
    EXPECT_FALSE(audio.deviceOpen());

    hooks.messages.clear();
    script.openOk = true;
    script.startOk = false;
    audio.openAudio();
    EXPECT_EQ(hooks.messages, std::vector<std::string>{"Memory Error 3"});
    EXPECT_FALSE(audio.deviceOpen());
    EXPECT_EQ(log.closes, 1);

    // A ring the device cannot play (longer than its block) is refused before it starts.
    hooks.messages.clear();
    script.startOk = true;
    state.ring.setRingBytes(static_cast<int>(state.ring.capacity()) + 2);
    const int starts = log.starts;
    audio.openAudio();
    EXPECT_EQ(hooks.messages, std::vector<std::string>{"Memory Error 2"});
    EXPECT_FALSE(audio.deviceOpen());
    EXPECT_EQ(log.starts, starts);
}

TEST_F(AudioOutput, CloseOffersTheRecordingOnlyWhenThereIsOne) {
    ASSERT_TRUE(audio.initAudio());
    audio.setAudioReady(true);
    audio.closeAudio();  // nothing open: nothing happens at all
    EXPECT_EQ(log.closes, 0);
    EXPECT_EQ(hooks.saves, 0);

    switchOn();
    audio.stopSound();
    EXPECT_EQ(log.closes, 1);
    EXPECT_EQ(hooks.saves, 0);  // no recording

    state.recordOn = 1;
    switchOn();
    EXPECT_TRUE(state.recording.active());
    audio.stopSound();
    EXPECT_EQ(hooks.saves, 1);
}

TEST_F(AudioOutput, RecordingThatRanOutOfMemoryIsStillOffered) {
    ASSERT_TRUE(audio.initAudio());
    audio.setAudioReady(true);
    state.recordOn = 1;
    switchOn();
    ASSERT_TRUE(state.recording.active());
    state.recording.append(130, 126);
    state.recordOn = 0;  // what the render loop does when the memory cannot grow
    audio.stopSound();
    EXPECT_EQ(hooks.saves, 1);
}

TEST_F(AudioOutput, RecordingThatCannotStartIsDroppedSilently) {
    ASSERT_TRUE(audio.initAudio());
    audio.setAudioReady(true);
    state.recordOn = 1;
    state.recording.setByteLimitForTesting(16);  // not even the first block
    switchOn();
    EXPECT_EQ(state.recordOn, 0);
    EXPECT_TRUE(hooks.messages.empty());
    EXPECT_TRUE(audio.deviceOpen());
}

TEST_F(AudioOutput, ADiskThatFillsUpEndsTheTakeAndSaysSoAtOnce) {
    // 200 kB hold about 9 s of a stereo take at 11025 Hz; 13 s are recorded.
    test::SmallDisk disk(200 * 1024);
    ASSERT_TRUE(disk.ok()) << disk.error();
    std::uint32_t now = 0;
    audio.setTickSource([&now] { return now; });
    audio.setSpoolFolder(disk.path() + "/unsaved");
    ASSERT_TRUE(audio.initAudio());
    audio.setAudioReady(true);
    state.recordOn = 1;
    switchOn();
    ASSERT_TRUE(audio.spool().writing());
    int fullAt = -1;
    for (int render = 0; render < 130; ++render) {
        now += 100;
        script.position += 1102;
        audio.renderIfDue();
        QCoreApplication::processEvents();
        if (fullAt < 0 && !hooks.messages.empty()) fullAt = render;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(hooks.messages.size(), 1u) << "the full disk was not reported while recording";
    EXPECT_NE(hooks.messages[0].find("The take ends here"), std::string::npos) << hooks.messages[0];
    EXPECT_NE(hooks.messages[0].find("No space left on device"), std::string::npos) << hooks.messages[0];
    EXPECT_LT(fullAt, 110) << "said only long after the disk filled";
    audio.stopSound();
    EXPECT_EQ(hooks.saves, 1);
    EXPECT_EQ(hooks.messages.size(), 1u);  // said once
    const UnsavedTake take = readUnsavedTake(state.recording.spoolFile());
    EXPECT_TRUE(take.readable);
    EXPECT_GT(take.seconds(), 5.0);
    EXPECT_LT(take.seconds(), 10.0);
    std::remove(take.path.c_str());
}

TEST_F(AudioOutput, DeviceThatRefusesToCloseKeepsItsHandle) {
    ASSERT_TRUE(audio.initAudio());
    audio.setAudioReady(true);
    switchOn();
    script.closeOk = false;
    audio.stopSound();
    EXPECT_TRUE(audio.deviceOpen());
    EXPECT_EQ(state.speakerOn, 0);
}

class RateChange : public AudioOutput {
  protected:
    void SetUp() override {
        ASSERT_TRUE(audio.initAudio());
        audio.setAudioReady(true);
    }
};

TEST_F(RateChange, RingSizesTablesAndFormats) {
    struct Case {
        int rateParam, ringBytes, rate, bytesPerSecond;
    };
    for (const Case& c : {Case{11026, 6512, 11025, 22050}, Case{22051, 12024, 22050, 44100},
                          Case{44101, 23050, 44100, 88200}}) {
        audio.changeRate(c.rateParam);
        EXPECT_EQ(state.rateParam, c.rateParam);
        EXPECT_EQ(state.ring.ringBytes(), c.ringBytes);
        EXPECT_EQ(state.ring.capacity(), 4u * c.rateParam);
        EXPECT_EQ(state.sineTable, buildSineTable(c.rateParam));
        EXPECT_EQ(audio.waveFormat().sampleRate, c.rate);
        EXPECT_EQ(audio.waveFormat().channels, 2);
        switchOn();
        EXPECT_EQ(log.lastFormat.sampleRate, c.rate);
        EXPECT_EQ(log.lastRingBytes, c.ringBytes);
    }
    EXPECT_TRUE(hooks.messages.empty());
}

TEST_F(RateChange, WhileSoundingSilencesStopsAndSavesFirst) {
    state.recordOn = 1;
    switchOn();
    state.ring.store(10, 200);
    int savedAtRate = 0;
    hooks.onSave = [&] { savedAtRate = state.rateParam; };
    audio.changeRate(22051);
    EXPECT_EQ(state.speakerOn, 0);
    EXPECT_EQ(hooks.speakerStates, std::vector<int>{0});
    EXPECT_FALSE(audio.deviceOpen());
    EXPECT_EQ(audio.timerId(), 0);
    EXPECT_EQ(hooks.saves, 1);
    EXPECT_EQ(savedAtRate, 11026);  // the recording is offered before the new rate applies
    EXPECT_EQ(state.recordOn, 1);   // the record switch is not touched
    EXPECT_EQ(state.rateParam, 22051);
}

TEST_F(RateChange, FallsBackOnThePreviousRateWhenTheNewOneFails) {
    audio.changeRate(22051);
    audio.setAllocationCheck([](std::size_t bytes) { return bytes != 4u * 44101u; });
    audio.changeRate(44101);
    EXPECT_EQ(hooks.messages, std::vector<std::string>{kInitMessage});
    EXPECT_EQ(state.rateParam, 22051);
    EXPECT_EQ(state.ring.ringBytes(), 12024);
    EXPECT_EQ(state.sineTable, buildSineTable(22051));
    EXPECT_EQ(audio.waveFormat().sampleRate, 22050);
    // The memory failure keeps the sound off until the program restarts.
    EXPECT_FALSE(audio.audioReady());
}

TEST_F(RateChange, BothAttemptsFailingShowBothMessages) {
    script.count = 0;
    audio.changeRate(44101);
    EXPECT_EQ(hooks.messages, (std::vector<std::string>{kNoCardMessage, kNoCardMessage}));
    EXPECT_EQ(state.rateParam, 11026);
    EXPECT_EQ(state.ring.ringBytes(), 6512);
}

}  // namespace
}  // namespace voltina
