// The MIDI input on a real JACK server (dummy driver, private to this test program): Voltina's port,
// a test client playing into it, the queued delivery to the GUI thread, and the MIDI voice rendered.
#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "audio/ring_render.h"
#include "engine/defaults.h"
#include "engine/midi_keys.h"
#include "engine/tables.h"
#include "jack_midi_out.h"
#include "jack_server.h"
#include "midi/midi_control.h"
#include "midi/midi_delivery.h"

namespace voltina {
namespace {

test::JackServer* server = nullptr;

std::string serverName() {
    return test::serverNameOfThisProgram("voltina-midi-");
}

class JackEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        server = new test::JackServer(serverName());
        ASSERT_TRUE(server->running()) << "jackd did not start:\n" << server->log();
        server->select();
    }
    void TearDown() override {
        delete server;
        server = nullptr;
    }
};

// Runs the GUI thread's events until `done` holds or `ms` have passed.
bool waitFor(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Another program with a MIDI output port on the server, as a keyboard bridge or a sequencer would be.
class TestKeyboard {
  public:
    TestKeyboard(const std::string& client, const std::string& port)
        : out_(RtMidi::UNIX_JACK, client), portName_(client + ":" + port) {
        out_.openVirtualPort(port);
    }
    ~TestKeyboard() { test::stopJackMidiOut(out_); }
    TestKeyboard(const TestKeyboard&) = delete;
    TestKeyboard& operator=(const TestKeyboard&) = delete;
    // Connects to an input port the way a patchbay would.
    void connectTo(const std::string& input) {
        ASSERT_EQ(server->run("jack_connect '" + portName_ + "' '" + input + "'; echo $?"), "0\n");
    }
    void send(std::vector<unsigned char> bytes) { out_.sendMessage(&bytes); }

  private:
    RtMidiOut out_;
    std::string portName_;
};

std::unique_ptr<TestKeyboard> keyboard(const std::string& client, const std::string& port = "out") {
    return std::make_unique<TestKeyboard>(client, port);
}

// A device whose play position the test moves on.
class SteppedHost : public RenderHost {
  public:
    bool deviceOpen() const override { return true; }
    bool readPlayPosition(std::uint64_t& frames) override {
        frames = position;
        return true;
    }
    void stopRenderTimer() override {}
    void closeDevice() override {}
    void showMessage(const char*) override {}
    std::uint64_t position = 0;
};

class MidiOnJack : public testing::Test {
  protected:
    void SetUp() override {
        s.rateParam = 44101;
        s.sineTable = buildSineTable(s.rateParam);
        s.ring.allocate(ringCapacity(s.rateParam));
        s.ring.setRingBytes(startupRingBytes(s.rateParam));
        setOscillatorAndMixerDefaults(s);
        clearCords(s);
        plugCord(s, kOutMidiSine, kInMixer);  // 429 -> 301
        s.speakerOn = 1;
        delivery = std::make_unique<MidiDelivery>([this](std::uint32_t packed) {
            received.push_back(packed);
            onMidiMessage(s, packed);  // what the panel's onMidiData does
        });
    }
    void TearDown() override {
        closeMidiInput(s, input);
        delivery.reset();
    }

    int open(const std::string& choice = "") {
        MidiInputOptions options;
        options.system = MidiSystem::Jack;
        options.portChoice = choice;
        return openMidiInput(s, input, options, delivery->consumer());
    }

    // Sends until the GUI thread has applied what `done` checks. On a loaded machine (ThreadSanitizer,
    // parallel builds) a dummy-driver cycle can overrun, and JACK drops the MIDI events of that cycle.
    static bool playUntil(const std::function<void()>& send, const std::function<bool()>& done) {
        for (int attempt = 0; attempt < 10; ++attempt) {
            send();
            if (waitFor(done, 500)) return true;
        }
        return false;
    }

    // Lets late messages arrive, then checks that every message received was `only`.
    bool receivedOnly(std::uint32_t only) {
        waitFor([] { return false; }, 150);
        return !received.empty() &&
               std::all_of(received.begin(), received.end(), [&](std::uint32_t m) { return m == only; });
    }

    // The left channel of the next `frames` frames the render loop writes.
    std::vector<int> render(int frames) {
        const int start = s.writePos;
        host.position += static_cast<std::uint64_t>(frames);
        renderBlock(s, host);
        std::vector<int> left;
        for (int f = 0; f < frames; ++f) left.push_back(s.ring.load((start + 2 * f) % s.ring.ringBytes()));
        return left;
    }

    EngineState s;
    MidiInput input;
    std::unique_ptr<MidiDelivery> delivery;
    std::vector<std::uint32_t> received;
    SteppedHost host;
};

bool allSilent(const std::vector<int>& bytes) {
    for (int b : bytes) {
        if (b != 128) return false;
    }
    return true;
}

// Frequency from the rising zero crossings, at 44100 frames per second.
double frequencyOf(const std::vector<int>& bytes) {
    std::vector<std::size_t> rising;
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        if (bytes[i - 1] <= 128 && bytes[i] > 128) rising.push_back(i);
    }
    if (rising.size() < 2) return 0.0;
    const double period = static_cast<double>(rising.back() - rising.front()) / (rising.size() - 1);
    return 44100.0 / period;
}

TEST_F(MidiOnJack, OwnPortAppearsAndANoteFromAnotherClientPlaysTheMidiVoice) {
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(s.midiOpen, 1);
    EXPECT_TRUE(input.listensOnOwnPort());
    EXPECT_EQ(input.system(), MidiSystem::Jack);
    EXPECT_TRUE(input.notice().empty());
    const std::string ports = server->run("jack_lsp -p");
    ASSERT_NE(ports.find("Voltina MIDI:midi_in\n\tproperties: input,"), std::string::npos) << ports;

    auto keys = keyboard("keys");
    keys->connectTo("Voltina MIDI:midi_in");

    EXPECT_TRUE(allSilent(render(4410)));
    const std::uint32_t on = packMidi(0x90, 69, 100);
    const std::uint32_t off = packMidi(0x80, 69, 0);
    ASSERT_TRUE(playUntil([&] { keys->send({0x90, 69, 100}); }, [&] { return s.midiNote == 58; }));
    const std::vector<int> tone = render(4410);
    EXPECT_NEAR(frequencyOf(tone), 440.0, 2.0);
    const auto [low, high] = std::minmax_element(tone.begin(), tone.end());
    EXPECT_LT(*low, 100);
    EXPECT_GT(*high, 156);

    ASSERT_TRUE(playUntil([&] { keys->send({0x80, 69, 0}); }, [&] { return s.midiNote == 0; }));
    EXPECT_TRUE(allSilent(render(4410)));
    EXPECT_EQ(received.front(), on);
    EXPECT_EQ(received.back(), off);
    EXPECT_TRUE(
        std::all_of(received.begin(), received.end(), [&](std::uint32_t m) { return m == on || m == off; }));

    closeMidiInput(s, input);
    EXPECT_EQ(s.midiOpen, 0);
    EXPECT_EQ(server->run("jack_lsp").find("Voltina"), std::string::npos);
}

TEST_F(MidiOnJack, TheFirstDevicePortIsOpenedAndTheLoopBackSkipped) {
    auto through = keyboard("Midi Through", "Midi Through Port-0");
    auto keys = keyboard("USB Keys");
    ASSERT_EQ(open(), 1);
    EXPECT_FALSE(input.listensOnOwnPort());
    EXPECT_EQ(input.portName(), "USB Keys:out");
    // Opening the device connected it: no patchbay needed.
    EXPECT_NE(server->run("jack_lsp -c 'USB Keys:out'").find("Voltina MIDI:midi_in"), std::string::npos);

    auto send = [&] {
        through->send({0x90, 50, 100});
        keys->send({0x90, 60, 100});
    };
    ASSERT_TRUE(playUntil(send, [&] { return s.midiNote == 49; }));
    EXPECT_TRUE(receivedOnly(packMidi(0x90, 60, 100)));
}

TEST_F(MidiOnJack, TheChosenPortIsOpenedOrTheOwnPortWithANotice) {
    auto alpha = keyboard("Alpha");
    auto beta = keyboard("Beta");
    ASSERT_EQ(open("BETA"), 1);
    EXPECT_EQ(input.portName(), "Beta:out");
    auto send = [&] {
        beta->send({0x9F, 72, 1});
        alpha->send({0x90, 60, 100});
    };
    ASSERT_TRUE(playUntil(send, [&] { return s.midiNote == 61; }));
    EXPECT_TRUE(receivedOnly(packMidi(0x9F, 72, 1)));

    ASSERT_EQ(open("Organ"), 1);
    EXPECT_TRUE(input.listensOnOwnPort());
    EXPECT_NE(input.notice().find("\"Organ\""), std::string::npos);
    EXPECT_NE(server->run("jack_lsp").find("Voltina MIDI:midi_in"), std::string::npos);
}

TEST_F(MidiOnJack, OpeningAgainClosesFirstAndLeavesOnePort) {
    ASSERT_EQ(open(), 1);
    ASSERT_EQ(open(), 1);
    const std::string ports = server->run("jack_lsp");
    // one client of ours: a second one would be listed as Voltina MIDI-01
    EXPECT_NE(ports.find("Voltina MIDI:midi_in\n"), std::string::npos) << ports;
    EXPECT_EQ(ports.find("Voltina MIDI-"), std::string::npos) << ports;
    auto keys = keyboard("keys");
    keys->connectTo("Voltina MIDI:midi_in");
    ASSERT_TRUE(playUntil([&] { keys->send({0x90, 64, 100}); }, [&] { return s.midiNote == 53; }));
    EXPECT_TRUE(receivedOnly(packMidi(0x90, 64, 100)));
}

TEST_F(MidiOnJack, BrokenAndSystemBytesAreDroppedWithoutHarm) {
    ASSERT_EQ(open(), 1);
    auto keys = keyboard("keys");
    keys->connectTo("Voltina MIDI:midi_in");
    auto send = [&] {
        keys->send({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});  // system exclusive
        keys->send({0xF8});                                // clock
        keys->send({0xFE});                                // active sensing
        keys->send({0xFA});                                // start
        keys->send({0x90, 62});                            // cut short
        keys->send({62, 100});                             // no status byte
        keys->send({0x90, 0xBE, 100});                     // a status byte as the note
        keys->send({0x90, 62, 100, 0});                    // run on
        keys->send({0x90, 64, 100});
    };
    ASSERT_TRUE(playUntil(send, [&] { return s.midiNote == 53; }));
    EXPECT_TRUE(receivedOnly(packMidi(0x90, 64, 100)));
    // System messages pass silently; the layer counts the others it drops.
    EXPECT_GT(input.droppedMessages(), 0u);
    EXPECT_EQ(s.noteDown[50], 0);

    // A SysEx that never ends ends at the next status byte: the keyboard is not deaf until an F7. One
    // sent in pieces, a clock inside it, still ends at its F7.
    auto unended = [&] {
        keys->send({0xF0, 0x01, 0x02});
        keys->send({0x90, 65, 100});
    };
    ASSERT_TRUE(playUntil(unended, [&] { return s.midiNote == 54; })) << "a note after F0 01 02 was lost";
    auto pieces = [&] {
        keys->send({0xF0, 0x43, 0x10});
        keys->send({0xF8});
        keys->send({0x41, 0x42, 0xF7});
        keys->send({0x90, 66, 100});
    };
    ASSERT_TRUE(playUntil(pieces, [&] { return s.midiNote == 55; }));
}

TEST_F(MidiOnJack, ClosingStopsTheInputAndKeepsTheKeys) {
    ASSERT_EQ(open(), 1);
    auto keys = keyboard("keys");
    keys->connectTo("Voltina MIDI:midi_in");
    ASSERT_TRUE(playUntil([&] { keys->send({0x90, 60, 100}); }, [&] { return s.midiNote == 49; }));
    closeMidiInput(s, input);
    EXPECT_EQ(s.midiOpen, 0);
    EXPECT_EQ(s.midiNote, 49);
    EXPECT_EQ(s.noteDown[48], 1);
    EXPECT_FLOAT_EQ(s.midiFreq, 261.0f);
    // The MIDI voice is not computed while closed: its output keeps its last value.
    const std::vector<int> frames = render(2000);
    EXPECT_TRUE(std::all_of(frames.begin(), frames.end(), [&](int b) { return b == frames.front(); }));
}

TEST_F(MidiOnJack, AServerThatDiesLeavesTheInputClosable) {
    test::JackServer doomed(serverName() + "-doomed");
    ASSERT_TRUE(doomed.running()) << doomed.log();
    doomed.select();
    const int opened = open();
    server->select();
    ASSERT_EQ(opened, 1);
    doomed.crash();
    QElapsedTimer clock;
    clock.start();
    closeMidiInput(s, input);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(input.isOpen());
    EXPECT_EQ(s.midiOpen, 0);
    // and the input opens again on the server that is still there
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(s.midiOpen, 1);
}

}  // namespace
}  // namespace voltina

// Registered before main's RUN_ALL_TESTS: one server for all the tests of this program.
static testing::Environment* const jackEnvironment =
    testing::AddGlobalTestEnvironment(new voltina::JackEnvironment);
