// The program's MIDI keyboard from end to end: opened by the panel's set-up, its messages played by the
// panel's onMidiData on the GUI thread, closed by a rate change and at the end; and the start-up message
// when no MIDI system can be reached. A private JACK server (dummy driver) stands for the desktop's.

#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <algorithm>
#include <functional>
#include <thread>

#include "app/audio_system_adapter.h"
#include "app/frame_window.h"
#include "app/program.h"
#include "app/program_parts.h"
#include "engine/midi_keys.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/program_files_support.h"
#include "tests/midi/jack_midi_out.h"
#include "tests/midi/jack_server.h"

namespace voltina::test {
namespace {

std::string serverName() {
    return serverNameOfThisProgram("voltina-program-");
}

bool waitFor(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        spin(5);
    }
    return true;
}

// Sends `bytes` from `keys` until `done`. A dummy-driver cycle that overruns on a loaded machine drops its
// events: send again.
bool playUntil(RtMidiOut& keys, std::vector<unsigned char> bytes, const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        keys.sendMessage(&bytes);
        if (waitFor(done, 500)) return true;
    }
    return false;
}

// The whole program over the null audio device, with the MIDI options a test chooses.
struct Program {
    explicit Program(MidiInputOptions options, const std::string& configPath = {})
        : parts(
              state, audio, [this](int r) { audio.system().changeRate(r); }, std::move(options)) {
        ProgramWiring w = parts.wiring(configPath);
        frame = createMainWindow(state, audio, w.services, w.startup);
    }
    ~Program() {
        frame.reset();
        audio.removeMouseHook();
        audio.setHooks(nullptr);
    }
    EngineState state;
    AudioSystemAdapter audio{state, AudioBackend::Null};
    ProgramParts parts;
    std::unique_ptr<FrameWindow> frame;
};

TEST(MidiProgram, WithoutAnyMidiSystemTheMessageComesOnceAndTheProgramRunsOn) {
    qputenv("JACK_DEFAULT_SERVER", QByteArray("voltina-nobody-") + QByteArray::number(::getpid()));
    MidiInputOptions options;
    options.alsaDevice = "/nonexistent/snd/seq";
    ModalDriver driver;
    driver.then(ModalDriver::clickButtonText("OK"));
    Program p(options);
    ASSERT_EQ(driver.seen().size(), 1u);
    EXPECT_EQ(driver.seen()[0].text, "Impossible to find MIDI input");
    EXPECT_EQ(driver.seen()[0].title, "Voltina 3.10");
    EXPECT_EQ(p.state.midiOpen, 0);
    p.frame->show();
    EXPECT_TRUE(waitFor([&] { return p.state.speakerOn == 1; })) << "the sound did not start";
    EXPECT_EQ(driver.seen().size(), 1u);
}

TEST(MidiProgram, MessagesFromTheInputThreadPlayOnTheGuiThreadInTheirOrder) {
    qputenv("JACK_DEFAULT_SERVER", QByteArray("voltina-nobody-") + QByteArray::number(::getpid()));
    MidiInputOptions options;
    options.alsaDevice = "/nonexistent/snd/seq";
    ModalDriver driver;
    driver.then(ModalDriver::clickButtonText("OK"));
    Program p(options);
    // What the input hands its thread's messages to.
    MidiConsumer consumer = p.parts.midi.delivery().consumer();
    std::thread keyboard([&consumer] {
        consumer(packMidi(0x90, 60, 100));
        consumer(packMidi(0x99, 64, 100));  // channel 10 plays too
        consumer(packMidi(0xB0, 7, 100));   // a controller changes nothing
        consumer(packMidi(0x80, 64, 0));
    });
    keyboard.join();
    EXPECT_TRUE(waitFor([&] { return p.state.noteDown[52] == 0 && p.state.midiNote == 49; }));
    EXPECT_EQ(p.state.midiNote, 49);  // 64 released: 60, still held, sounds again
    EXPECT_EQ(p.state.midiFreq, 261.0f);
    EXPECT_EQ(p.state.noteDown[48], 1);
}

class MidiOnJackProgram : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server = new JackServer(serverName());
        if (server->running()) server->select();
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->running()) << "jackd did not start:\n" << server->log(); }
    static JackServer* server;
};
JackServer* MidiOnJackProgram::server = nullptr;

TEST_F(MidiOnJackProgram, AKeyboardPlaysThroughThePanelBeforeAndAfterARateChange) {
    RtMidiOut keys(RtMidi::UNIX_JACK, "keys");
    const test::JackMidiOutStopper stopKeys(keys);
    keys.openVirtualPort("out");
    ModalDriver driver;
    driver.then(ModalDriver::clickButtonText("OK"));  // only if a message comes, which it must not
    MidiInputOptions options;
    options.alsaDevice = "/nonexistent/snd/seq";
    options.portChoice = "keys";
    Program p(options);
    EXPECT_TRUE(driver.seen().empty()) << driver.seen()[0].text;
    ASSERT_EQ(p.state.midiOpen, 1);
    EXPECT_EQ(p.parts.midi.input().portName(), "keys:out");
    EXPECT_TRUE(p.parts.midi.input().notice().empty());

    EXPECT_TRUE(playUntil(keys, {0x90, 69, 100}, [&] { return p.state.midiNote == 58; }));
    EXPECT_EQ(p.state.midiFreq, 440.0f);
    EXPECT_TRUE(playUntil(keys, {0x80, 69, 0}, [&] { return p.state.midiNote == 0; }));

    // A rate change opens the input again on the same keyboard.
    p.parts.rateChange.change(22051);
    EXPECT_EQ(p.state.rateParam, 22051);
    ASSERT_EQ(p.state.midiOpen, 1);
    EXPECT_EQ(p.parts.midi.input().portName(), "keys:out");
    EXPECT_TRUE(playUntil(keys, {0x90, 72, 100}, [&] { return p.state.midiNote == 61; }));
}

// Frequency from the rising crossings of the middle line, at 11025 frames per second.
double frequencyOf(const std::vector<std::uint8_t>& left) {
    std::vector<std::size_t> rising;
    for (std::size_t i = 1; i < left.size(); ++i) {
        if (left[i - 1] <= 128 && left[i] > 128) rising.push_back(i);
    }
    if (rising.size() < 2) return 0.0;
    return 11025.0 * static_cast<double>(rising.size() - 1) /
           static_cast<double>(rising.back() - rising.front());
}

TEST_F(MidiOnJackProgram, ANoteFromTheKeyboardIsHeardInTheRecordingOfTheRun) {
    InTemporaryDirectory here;
    // The MIDI voice's sine (429) into mixer channel 1; nothing else sounds.
    std::string mixer;
    for (int k = 0; k < 8; ++k) mixer += std::string(k ? ", " : "") + "{\"level\": 128, \"pan\": 50}";
    std::string oscillators;
    for (int k = 0; k < 8; ++k)
        oscillators += std::string(k ? ", " : "") + "{\"type\": \"sine\", \"frequency\": 100}";
    ASSERT_TRUE(writeWhole(here.file("midi"), "{\"voltina\": 1, \"rate\": 11025, \"oscillators\": [" +
                                                  oscillators + "], \"mixer\": [" + mixer +
                                                  "], \"cords\": [[429, 301]]}"));
    RtMidiOut keys(RtMidi::UNIX_JACK, "keys");
    const test::JackMidiOutStopper stopKeys(keys);
    keys.openVirtualPort("out");
    ModalDriver driver;
    MidiInputOptions options;
    options.alsaDevice = "/nonexistent/snd/seq";
    options.portChoice = "keys";
    Program p(options, here.file("midi"));
    ASSERT_TRUE(driver.seen().empty()) << driver.seen()[0].text;
    ASSERT_EQ(p.state.midiOpen, 1);
    p.state.recordOn = 1;
    p.frame->show();
    ASSERT_TRUE(waitFor([&] { return p.state.speakerOn == 1; }));
    spin(400);
    ASSERT_TRUE(playUntil(keys, {0x90, 69, 100}, [&] { return p.state.midiNote == 58; }));
    spin(800);
    ASSERT_TRUE(playUntil(keys, {0x80, 69, 0}, [&] { return p.state.midiNote == 0; }));
    spin(400);
    driver.then(ModalDriver::typeThenClick("midi", "ok"));
    SynthPanel* panel = p.frame->panel();
    panel->onCommand(189, panel->control(189));  // H.P off: the run's recording is saved

    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readWhole(here.file("MIDI.WAV"), bytes));
    std::vector<std::uint8_t> left;
    for (std::size_t i = 44; i + 1 < bytes.size(); i += 2) left.push_back(bytes[i]);
    const auto first = std::find_if(left.begin(), left.end(), [](std::uint8_t b) { return b != 128; });
    const auto last = std::find_if(left.rbegin(), left.rend(), [](std::uint8_t b) { return b != 128; });
    ASSERT_NE(first, left.end()) << "the note was not heard";
    const std::size_t start = static_cast<std::size_t>(first - left.begin());
    const std::size_t end = left.size() - static_cast<std::size_t>(last - left.rbegin());
    EXPECT_GT(start, 11025u * 3 / 10) << "silence before the note";
    EXPECT_GT(left.size() - end, 11025u * 3 / 10) << "silence after the note";
    EXPECT_GT(end - start, 11025u / 2);
    const std::vector<std::uint8_t> tone(first, left.begin() + static_cast<std::ptrdiff_t>(end));
    EXPECT_NEAR(frequencyOf(tone), 440.0, 3.0);
    const auto [low, high] = std::minmax_element(tone.begin(), tone.end());
    EXPECT_LT(*low, 100);
    EXPECT_GT(*high, 156);
}

TEST_F(MidiOnJackProgram, AMissingPortChoiceListensOnVoltinasOwnPortWithANotice) {
    ModalDriver driver;
    driver.then(ModalDriver::clickButtonText("OK"));  // only if a message comes, which it must not
    MidiInputOptions options;
    options.alsaDevice = "/nonexistent/snd/seq";
    options.portChoice = "no such keyboard";
    Program p(options);
    EXPECT_TRUE(driver.seen().empty());
    EXPECT_EQ(p.state.midiOpen, 1);
    EXPECT_TRUE(p.parts.midi.input().listensOnOwnPort());
    EXPECT_NE(p.parts.midi.input().notice().find("no such keyboard"), std::string::npos);
    EXPECT_NE(server->run("jack_lsp").find("Voltina MIDI:midi_in"), std::string::npos);
    // The port goes with the program.
    p.frame.reset();
    EXPECT_EQ(p.state.midiOpen, 0);
    EXPECT_EQ(server->run("jack_lsp").find("Voltina"), std::string::npos);
}

}  // namespace
}  // namespace voltina::test
