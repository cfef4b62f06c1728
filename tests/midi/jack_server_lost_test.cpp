// The MIDI input and the JACK audio output of one process on a JACK server that goes away. libjack deletes
// every client of a lost server at the process's next jack_client_open, whichever layer makes it; the MIDI
// input, opened at start-up and closed only by a rate change or at the end, must not close its client again
// afterwards (that crashed the program, at a rate change or on its way out). Each test has a private server
// (dummy driver) that it ends and starts again.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <memory>
#include <thread>

#include "audio/jack_device.h"
#include "jack_server.h"
#include "midi/midi_control.h"

namespace voltina {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

template <typename Done>
bool waitFor(Done done, milliseconds limit = milliseconds(5000)) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}

// The server crashes (SIGKILL) or is stopped (SIGTERM): either way libjack calls the client's shutdown
// handler and deletes the client at the next open.
class JackServerLost : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        server = std::make_unique<test::JackServer>(test::serverNameOfThisProgram("voltina-lost-"));
        ASSERT_TRUE(server->running()) << "jackd did not start:\n" << server->log();
        server->select();
        s.ring.allocate(4 * 11026);
        s.ring.setRingBytes(6512);
        s.ring.fill(128);
    }
    void TearDown() override {
        device.stop();
        device.close();
        closeMidiInput(s, input);
    }

    // The program at start-up: the MIDI input on its own port of the server.
    void openMidi() {
        MidiInputOptions options;
        options.system = MidiSystem::Jack;
        ASSERT_EQ(openMidiInput(s, input, options, [](std::uint32_t) {}), 1);
        EXPECT_FALSE(input.serverLost());
    }
    // The sound switched on: the device plays until the server has pulled frames through it.
    void playSound() {
        ASSERT_TRUE(device.open(DeviceFormat{}, s.ring));
        ASSERT_TRUE(device.start());
        std::uint64_t frames = 0;
        EXPECT_TRUE(waitFor([&] { return device.position(frames) && frames >= 2000; }));
    }
    // What the program does with a device whose position read failed.
    void closeSound() {
        device.stop();
        EXPECT_TRUE(device.close());
    }
    // Ends the server under the playing device and the open input, and waits until both layers know.
    void loseServer() {
        if (GetParam() == SIGKILL) {
            server->kill();
        } else {
            server->stop();
        }
        EXPECT_TRUE(waitFor([&] { return device.failed(); })) << "the audio layer did not notice";
        EXPECT_TRUE(waitFor([&] { return input.serverLost(); })) << "the MIDI layer did not notice";
        EXPECT_EQ(s.midiOpen, 1);
    }
    bool ownMidiPortListed() {
        return server->run("jack_lsp -p").find("Voltina MIDI:midi_in\n\tproperties: input,") !=
               std::string::npos;
    }

    std::unique_ptr<test::JackServer> server;  // outlives the clients below
    EngineState s;
    MidiInput input;
    JackDevice device;
};

// Sound on, the server goes, the user starts it again and switches the sound on: that open deletes the
// input's dead client inside libjack. The rate change then closes the device, the MIDI input and probes
// the server again, as the program does.
TEST_P(JackServerLost, TheSoundBackOnANewServerThenARateChange) {
    ASSERT_NO_FATAL_FAILURE(openMidi());
    ASSERT_NO_FATAL_FAILURE(playSound());
    ASSERT_NO_FATAL_FAILURE(loseServer());
    closeSound();
    ASSERT_TRUE(server->restart()) << server->log();
    ASSERT_NO_FATAL_FAILURE(playSound());

    closeSound();
    closeMidiInput(s, input);
    EXPECT_EQ(s.midiOpen, 0);
    EXPECT_FALSE(input.isOpen());
    EXPECT_GT(device.probeDevices(), 0);
    DeviceCaps caps;
    EXPECT_TRUE(device.deviceCaps(0, caps));

    // The process's JACK state is sound: the input opens on the new server and closes as usual.
    ASSERT_NO_FATAL_FAILURE(playSound());
    ASSERT_NO_FATAL_FAILURE(openMidi());
    EXPECT_TRUE(ownMidiPortListed());
    closeMidiInput(s, input);
    EXPECT_FALSE(ownMidiPortListed());
}

// Switching the sound on with no server at all fails, but libjack's attempt has deleted the input's dead
// client all the same; then the program ends, which closes the input.
TEST_P(JackServerLost, TheSoundTriedWithNoServerThenTheEnd) {
    ASSERT_NO_FATAL_FAILURE(openMidi());
    ASSERT_NO_FATAL_FAILURE(playSound());
    ASSERT_NO_FATAL_FAILURE(loseServer());
    closeSound();
    EXPECT_FALSE(device.open(DeviceFormat{}, s.ring));
    closeMidiInput(s, input);
    EXPECT_EQ(s.midiOpen, 0);
    EXPECT_FALSE(input.isOpen());
}

INSTANTIATE_TEST_SUITE_P(KilledOrStopped, JackServerLost, testing::Values(SIGKILL, SIGTERM),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGKILL ? "Killed" : "Stopped");
                         });

}  // namespace
}  // namespace voltina
