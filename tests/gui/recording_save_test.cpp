// Saving the recording when the sound stops: the name dialog, the file written into the current
// directory, and a recording that survives a file that cannot be written.

#include "app/recording_save.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>

#include "app/audio_system_adapter.h"
#include "app/frame_window.h"
#include "app/program.h"
#include "app/program_parts.h"
#include "audio/take_spool.h"
#include "engine/defaults.h"
#include "render/offline_render.h"
#include "render/offline_start.h"
#include "render/panel_events.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/program_files_support.h"
#include "tests/support/render_in_memory.h"

namespace voltina::test {
namespace {

void recordFrames(EngineState& s, int frames) {
    ASSERT_TRUE(s.recording.start());
    for (int i = 0; i < frames; ++i) {
        ASSERT_TRUE(s.recording.append(static_cast<std::uint8_t>(i & 0xFF),
                                       static_cast<std::uint8_t>(255 - (i & 0xFF))));
    }
}

// The panel of the program over a fake audio port, with the program's own services but no MIDI.
class RecordingSaveTest : public ::testing::Test {
  protected:
    RecordingSaveTest() {
        ProgramWiring w = parts.wiring();
        w.services.midi = nullptr;
        frame = createMainWindow(state, audio, w.services);
        panel = frame->panel();
        state.rateParam = 11026;
        state.stereoOut = 1;
    }
    InTemporaryDirectory here;
    EngineState state;
    FakeAudio audio{state};
    ProgramParts parts{state, audio, [](int) {}, MidiInputOptions{}};
    std::unique_ptr<FrameWindow> frame;
    SynthPanel* panel = nullptr;
    ModalDriver driver;
};

TEST(RecordingFileName, UpperCaseLettersDigitsAndUnderscores) {
    EXPECT_EQ(recordingFileName("ab-1"), "AB_1.WAV");
    EXPECT_EQ(recordingFileName("my song"), "MY_SONG.WAV");
    EXPECT_EQ(recordingFileName("Zz09"), "ZZ09.WAV");
    EXPECT_EQ(recordingFileName("../x"), "___X.WAV");  // never leaves the current directory
    // One underscore per character, whatever its UTF-8 length.
    EXPECT_EQ(recordingFileName("\xC3\xA9\xC3\xA0\xC3\xBC"), "___.WAV");
    EXPECT_EQ(recordingFileName("\xE2\x82\xAC"
                                "1"),
              "_1.WAV");
}

TEST_F(RecordingSaveTest, ARunWithoutFramesGivesAnEmptyDataChunk) {
    state.recordOn = 1;
    recordFrames(state, 0);
    driver.then(ModalDriver::typeThenClick("empty", "ok"));
    panel->saveRecording();
    ASSERT_EQ(driver.seen().size(), 1u);
    EXPECT_EQ(driver.seen()[0].title, "Save to Wave");

    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readWhole(here.file("EMPTY.WAV"), bytes));
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(le32(bytes, 4), 36u);
    EXPECT_EQ(le32(bytes, 40), 0u);
    std::string info;
    EXPECT_EQ(runTool("sndfile-info", {QString::fromStdString(here.file("EMPTY.WAV"))}, &info), 0) << info;
    // (sndfile-info also reports a short read when it looks for the peak of no samples; sox's own empty
    // files get the same remark.)
    EXPECT_NE(info.find("Frames      : 0\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Channels    : 2\n"), std::string::npos) << info;
    EXPECT_EQ(runTool("sox", {"--i", "-r", QString::fromStdString(here.file("EMPTY.WAV"))}, &info), 0);
    EXPECT_EQ(info, "11025\n");
    // Saved or not, the recording is released and the switch stays on for the next run.
    EXPECT_FALSE(state.recording.active());
    EXPECT_EQ(state.recordOn, 1);
}

TEST_F(RecordingSaveTest, TheTypedNameIsMadeSafeAndAnOldFileIsReplacedOnlyWhenTheUserSaysSo) {
    ASSERT_TRUE(writeWhole(here.file("AB_1.WAV"), "an older file of that name"));
    state.recordOn = 1;
    state.rateParam = 22051;
    recordFrames(state, 300);
    // "ab-1" and "AB?1" meet on one file name: the first answer keeps the old file and asks again.
    driver.then(ModalDriver::typeThenClick("ab-1", "ok"));
    driver.then(ModalDriver::clickButtonText("Another name..."));
    driver.then(ModalDriver::typeThenClick("AB?1", "ok"));
    std::vector<std::uint8_t> kept;
    driver.then([&](QWidget* w) {
        ASSERT_TRUE(readWhole(here.file("AB_1.WAV"), kept));  // still the old file when asked again
        ModalDriver::clickButtonText("Replace")(w);
    });
    panel->saveRecording();
    ASSERT_EQ(driver.seen().size(), 4u);
    EXPECT_EQ(driver.seen()[1].text, "AB_1.WAV already exists.");
    EXPECT_EQ(driver.seen()[2].title, "Save to Wave");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "an older file of that name");

    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readWhole(here.file("AB_1.WAV"), bytes));
    ASSERT_EQ(bytes.size(), 44u + 600u);
    EXPECT_EQ(le32(bytes, 4), 36u + 600u);
    EXPECT_EQ(le16(bytes, 22), 2u);  // channels
    EXPECT_EQ(le32(bytes, 24), 22050u);
    EXPECT_EQ(le32(bytes, 28), 44100u);
    EXPECT_EQ(le32(bytes, 40), 600u);
    EXPECT_EQ(bytes[44], 0);
    EXPECT_EQ(bytes[45], 255);
    EXPECT_EQ(bytes[44 + 2 * 299], 299 & 0xFF);
    std::string samples;
    EXPECT_EQ(runTool("sox", {"--i", "-s", QString::fromStdString(here.file("AB_1.WAV"))}, &samples), 0);
    EXPECT_EQ(samples, "300\n");
    std::string info;
    EXPECT_EQ(runTool("sndfile-info", {QString::fromStdString(here.file("AB_1.WAV"))}, &info), 0);
    EXPECT_EQ(info.find("Error"), std::string::npos) << info;
    EXPECT_NE(info.find("Frames      : 300\n"), std::string::npos) << info;
    EXPECT_EQ(QDir(QString::fromStdString(here.path())).entryList(QDir::Files).size(), 1);  // no stray files
}

TEST_F(RecordingSaveTest, ASingleChannelDeviceGivesATrueMonoFile) {
    state.recordOn = 1;
    state.stereoOut = 0;
    state.rateParam = 44101;
    recordFrames(state, 7);
    driver.then(ModalDriver::typeThenClick("mono", "ok"));
    panel->saveRecording();
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readWhole(here.file("MONO.WAV"), bytes));
    ASSERT_EQ(bytes.size(), 44u + 8u);  // seven left bytes and a pad byte
    EXPECT_EQ(le16(bytes, 22), 1u);
    EXPECT_EQ(le32(bytes, 24), 44100u);
    EXPECT_EQ(le32(bytes, 28), 44100u);
    EXPECT_EQ(le16(bytes, 32), 1u);
    EXPECT_EQ(le32(bytes, 40), 7u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(bytes[44 + i], i) << i;  // the left byte of each frame
    std::string samples;
    EXPECT_EQ(runTool("sox", {"--i", "-s", QString::fromStdString(here.file("MONO.WAV"))}, &samples), 0);
    EXPECT_EQ(samples, "7\n");
}

TEST_F(RecordingSaveTest, CancelAndAnEmptyNameDiscardTheRecording) {
    state.recordOn = 1;
    recordFrames(state, 10);
    driver.then(ModalDriver::typeThenClick("take", "cancel"));
    panel->saveRecording();
    EXPECT_FALSE(state.recording.active());
    EXPECT_TRUE(state.recording.bytes().empty());
    EXPECT_EQ(state.recordOn, 1);

    recordFrames(state, 10);
    driver.then(ModalDriver::typeThenClick("", "ok"));
    panel->saveRecording();
    EXPECT_EQ(driver.seen().size(), 2u);
    EXPECT_FALSE(state.recording.active());
    EXPECT_TRUE(QDir(QString::fromStdString(here.path()))
                    .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)
                    .isEmpty());
}

TEST_F(RecordingSaveTest, AFileThatCannotBeWrittenAsksAgainAndKeepsTheRecording) {
    // A folder stands where the file would go (the tests run as root, so permissions would not stop
    // the write).
    ASSERT_TRUE(QDir(QString::fromStdString(here.path())).mkdir("AB_1.WAV"));
    state.recordOn = 1;
    recordFrames(state, 50);
    driver.then(ModalDriver::typeThenClick("ab-1", "ok"));
    driver.then(ModalDriver::clickButtonText("OK"));
    driver.then(ModalDriver::typeThenClick("ab_2", "ok"));
    panel->saveRecording();

    ASSERT_EQ(driver.seen().size(), 3u);
    EXPECT_EQ(driver.seen()[0].title, "Save to Wave");
    EXPECT_EQ(driver.seen()[1].title, "Voltina 3.10");
    EXPECT_EQ(driver.seen()[1].text, "Impossible to open AB_1.WAV");
    EXPECT_EQ(driver.seen()[2].title, "Save to Wave");
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readWhole(here.file("AB_2.WAV"), bytes));
    EXPECT_EQ(bytes.size(), 44u + 100u);
    EXPECT_EQ(bytes[44 + 2 * 49 + 1], 255 - 49);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(here.file("AB_1.WAV"))).isDir());
    EXPECT_FALSE(state.recording.active());

    // Failing again and then cancelling does give the recording up, and only then.
    recordFrames(state, 5);
    driver.then(ModalDriver::typeThenClick("ab-1", "ok"));
    driver.then(ModalDriver::clickButtonText("OK"));
    driver.then(ModalDriver::typeThenClick("", "cancel"));
    panel->saveRecording();
    EXPECT_EQ(driver.seen().size(), 6u);
    EXPECT_TRUE(driver.idle());
    EXPECT_FALSE(state.recording.active());
}

TEST_F(RecordingSaveTest, AFolderThatCannotBeWrittenOffersTheDesktopsSaveDialog) {
    // The current folder is removed while the take is recorded: nothing can be created in it.
    const QString gone = QString::fromStdString(here.file("gone"));
    ASSERT_TRUE(QDir().mkdir(gone));
    ASSERT_TRUE(QDir::setCurrent(gone));
    ASSERT_TRUE(QDir().rmdir(gone));
    state.recordOn = 1;
    recordFrames(state, 30);
    const QString elsewhere = QString::fromStdString(here.file("ELSEWHERE.WAV"));
    std::string reason;
    driver.then(ModalDriver::typeThenClick("take", "ok"));
    driver.then([&reason](QWidget* w) {
        reason = static_cast<QMessageBox*>(w)->informativeText().toStdString();
        ModalDriver::clickButtonText("OK")(w);
    });
    driver.then([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });  // the save dialog, cancelled
    driver.then(ModalDriver::typeThenClick("take", "ok"));                // the name again
    driver.then(ModalDriver::clickButtonText("OK"));
    driver.then([&elsewhere](QWidget* w) {
        auto* dialog = static_cast<QFileDialog*>(w);
        // Typed as a user types it: the whole path in the file name field.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(elsewhere);
        static_cast<QDialog*>(dialog)->accept();
    });
    panel->saveRecording();

    ASSERT_EQ(driver.seen().size(), 6u);
    EXPECT_EQ(driver.seen()[1].text, "Impossible to open TAKE.WAV");
    EXPECT_NE(reason.find("No such file or directory"), std::string::npos) << reason;
    EXPECT_EQ(driver.seen()[2].className, "QFileDialog");
    EXPECT_EQ(driver.seen()[5].className, "QFileDialog");
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readWhole(elsewhere.toStdString(), bytes));
    ASSERT_EQ(bytes.size(), 44u + 60u);
    EXPECT_EQ(bytes[44 + 2 * 29], 29);
    EXPECT_FALSE(state.recording.active());
}

TEST_F(RecordingSaveTest, ARecordingCutShortByMemoryIsStillOffered) {
    // The memory ran out during the run: recordOn went to 0, the frames kept are offered.
    recordFrames(state, 20);
    state.recordOn = 0;
    driver.then(ModalDriver::typeThenClick("short", "ok"));
    panel->saveRecording();
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readWhole(here.file("SHORT.WAV"), bytes));
    EXPECT_EQ(bytes.size(), 44u + 40u);
    EXPECT_EQ(state.recordOn, 0);

    // No recording and the switch off: nothing is asked.
    panel->saveRecording();
    EXPECT_EQ(driver.seen().size(), 1u);
}

TEST_F(RecordingSaveTest, ManyTakesLeftBehindAreOfferedInOneBox) {
    const std::string folder = unsavedTakeFolder();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    const WaveFormat format = recordingFormat(11026, 1);
    auto leave = [&](const std::string& name, WaveFormat f) {
        std::vector<std::uint8_t> bytes = waveHeader(f, 2000);
        bytes.resize(bytes.size() + 2000, 128);
        ASSERT_TRUE(writeWhole(folder + "/" + name, std::string(bytes.begin(), bytes.end())));
    };
    WaveFormat zeroHz = format;
    zeroHz.samplesPerSec = zeroHz.avgBytesPerSec = 0;
    auto left = [&] {
        return QDir(QString::fromStdString(folder))
            .entryList(QDir::Files, QDir::Name)
            .join(" ")
            .toStdString();
    };
    // Damaged takes are never offered, and stay where they are.
    leave("take-0-damaged.wav", zeroHz);
    for (const char* name : {"take-1.wav", "take-2.wav", "take-3.wav"}) leave(name, format);
    driver.then(ModalDriver::clickButtonText("Discard all"));
    offerUnsavedTakes(panel);
    ASSERT_EQ(driver.seen().size(), 1u);
    EXPECT_EQ(driver.seen()[0].text, std::string("3") + kUnsavedTakesSuffix);
    EXPECT_EQ(left(), "take-0-damaged.wav");

    // One by one: discard the first, save the second, keep the rest for later.
    for (const char* name : {"take-1.wav", "take-2.wav", "take-3.wav", "take-4.wav"}) leave(name, format);
    driver.then(ModalDriver::clickButtonText("Go through them..."));
    driver.then(ModalDriver::clickButtonText("Discard"));
    driver.then(ModalDriver::clickButtonText("Save..."));
    driver.then(ModalDriver::typeThenClick("two", "ok"));
    driver.then(ModalDriver::clickButtonText("Keep the rest for later"));
    offerUnsavedTakes(panel);
    ASSERT_EQ(driver.seen().size(), 6u);
    EXPECT_EQ(driver.seen()[1].text, std::string("4") + kUnsavedTakesSuffix);
    EXPECT_EQ(driver.seen()[2].text, "Take 1 of 4.");
    EXPECT_EQ(driver.seen()[4].title, "Save to Wave");
    EXPECT_EQ(driver.seen()[5].text, "Take 3 of 4.");
    EXPECT_TRUE(driver.idle());
    std::vector<std::uint8_t> saved;
    ASSERT_TRUE(readWhole(here.file("TWO.WAV"), saved));
    EXPECT_EQ(saved.size(), 44u + 2000u);
    EXPECT_EQ(left(), "take-0-damaged.wav take-3.wav take-4.wav");

    // A single take keeps its own box.
    QFile::remove(QString::fromStdString(folder + "/take-4.wav"));
    driver.then(ModalDriver::clickButtonText("Discard"));
    offerUnsavedTakes(panel);
    EXPECT_EQ(driver.seen().back().text, kUnsavedTakeText);
    EXPECT_EQ(left(), "take-0-damaged.wav");
    QFile::remove(QString::fromStdString(folder + "/take-0-damaged.wav"));
}

TEST_F(RecordingSaveTest, ALargeTakeIsCopiedWhileTheEventLoopRuns) {
    const std::string folder = unsavedTakeFolder();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    const std::uint32_t bytes = 32u << 20;
    const std::vector<std::uint8_t> header = waveHeader(recordingFormat(44101, 1), bytes);
    const std::string take = folder + "/take-large.wav";
    ASSERT_TRUE(writeWhole(take, std::string(header.begin(), header.end())));
    std::filesystem::resize_file(take, header.size() + bytes);  // sparse: no time spent making it
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(0);
    int ticksAtName = -1;
    driver.then(ModalDriver::clickButtonText("Save..."));
    driver.then([&ticksAtName, &ticks](QWidget* w) {
        ModalDriver::typeThenClick("large", "ok")(w);
        ticksAtName = ticks;
    });
    offerUnsavedTakes(panel);
    // From the name to the end of the copy, only the copy's own progress lets the event loop run.
    ASSERT_GE(ticksAtName, 0);
    EXPECT_GT(ticks - ticksAtName, 10) << "the panel was frozen during the copy";
    EXPECT_EQ(std::filesystem::file_size(here.file("LARGE.WAV")), header.size() + bytes);
    EXPECT_FALSE(std::filesystem::exists(take));
}

TEST(RecordingRun, TheFileHoldsExactlyTheFramesTheRunRendered) {
    InTemporaryDirectory here;
    EngineState state;
    AudioSystemAdapter audio(state, AudioBackend::Null);
    ProgramParts parts(
        state, audio, [&audio](int r) { audio.system().changeRate(r); }, MidiInputOptions{});
    ProgramWiring w = parts.wiring();
    w.services.midi = nullptr;
    parts.capturePerformances(audio.performance());
    audio.setSamplePathSource([&parts] { return parts.samplePath(); });
    state.recordOn = 1;
    auto frame = createMainWindow(state, audio, w.services);
    frame->show();
    QElapsedTimer t;
    t.start();
    while (state.speakerOn == 0 && t.elapsed() < 3000) spin(10);
    ASSERT_EQ(state.speakerOn, 1) << "the first tick did not switch the sound on";
    spin(700);
    // The take goes to disk as it is recorded: memory holds no more than one render's bytes.
    ASSERT_TRUE(audio.system().spool().writing());
    EXPECT_GT(audio.system().takeBytes(), 2u * 5000u);
    EXPECT_LT(state.recording.length(), 2u * 5000u);

    ModalDriver driver;
    driver.then(ModalDriver::typeThenClick("run", "ok"));
    SynthPanel* panel = frame->panel();
    panel->session().apply(Edit::waveType(3, kSquare));  // in the take, at the frame it acts
    spin(300);
    panel->onCommand(189, panel->control(189));  // H.P off: the sound stops, the recording is offered
    ASSERT_EQ(driver.seen().size(), 1u);

    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readWhole(here.file("RUN.WAV"), bytes));
    ASSERT_GT(bytes.size(), 44u + 2u * 1000u) << "hardly anything was rendered";
    const std::uint64_t frames = (bytes.size() - 44) / 2;
    EXPECT_EQ(bytes.size(), 44 + 2 * frames);
    EXPECT_EQ(le32(bytes, 40), 2 * frames);

    // Its performance, saved beside it, renders the same bytes from the start state it captured.
    std::vector<std::uint8_t> text;
    ASSERT_TRUE(readWhole(here.file("RUN.vtk"), text));
    Performance performance;
    std::string error;
    ASSERT_TRUE(parsePerformance(std::string(text.begin(), text.end()), performance, error)) << error;
    ASSERT_TRUE(performance.start);
    EXPECT_EQ(performance.frames, frames);
    ASSERT_EQ(performance.events.size(), 1u);
    prepareAudioTables(*performance.start, 11026, 1);
    resumeSoundOffline(*performance.start);
    const std::vector<std::uint8_t> expected =
        renderOffline(*performance.start, frames, {}, performance.events);
    ASSERT_EQ(expected.size(), bytes.size() - 44);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + 44));
    // Up to the edit, it is the start-up patch rendered without a device from the same start.
    auto fresh = std::make_unique<EngineState>();
    setEngineDefaults(*fresh);
    prepareAudioTables(*fresh, 11026, 1);
    startSoundOffline(*fresh);
    const std::vector<std::uint8_t> before = renderOffline(*fresh, performance.events[0].frame, {});
    EXPECT_GT(before.size(), 2u * 1000u);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), bytes.begin() + 44));
    EXPECT_EQ(state.recordOn, 1);
    EXPECT_FALSE(state.recording.active());
    std::string samples;
    EXPECT_EQ(runTool("sox", {"--i", "-s", QString::fromStdString(here.file("RUN.WAV"))}, &samples), 0);
    EXPECT_EQ(samples, std::to_string(frames) + "\n");
    // Saved, the take no longer waits on disk.
    EXPECT_TRUE(QDir(QString::fromStdString(unsavedTakeFolder())).entryList(QDir::Files).isEmpty());

    frame.reset();
    audio.removeMouseHook();
    audio.setHooks(nullptr);
}

}  // namespace
}  // namespace voltina::test
