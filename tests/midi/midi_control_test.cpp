#include "midi/midi_control.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "engine/midi_keys.h"

namespace voltina {
namespace {

// Points libjack at a server name that nobody runs, for the life of the object.
class NoJackServer {
  public:
    NoJackServer() {
        if (const char* old = std::getenv("JACK_DEFAULT_SERVER")) saved_ = old, hadOld_ = true;
        const std::string name = "voltina-nobody-" + std::to_string(::getpid());
        ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    }
    ~NoJackServer() {
        if (hadOld_)
            ::setenv("JACK_DEFAULT_SERVER", saved_.c_str(), 1);
        else
            ::unsetenv("JACK_DEFAULT_SERVER");
    }

  private:
    std::string saved_;
    bool hadOld_ = false;
};

TEST(MidiControl, WithoutAnyMidiSystemOpeningFailsQuietlyAndTheStateStaysClosed) {
    NoJackServer noServer;
    EngineState s;
    MidiInput input;
    MidiInputOptions options;
    options.alsaDevice = "/nonexistent/voltina/snd/seq";  // as on a kernel without the sequencer
    int delivered = 0;

    for (MidiSystem system : {MidiSystem::Automatic, MidiSystem::Jack, MidiSystem::AlsaSequencer}) {
        options.system = system;
        testing::internal::CaptureStderr();
        const int result = openMidiInput(s, input, options, [&](std::uint32_t) { ++delivered; });
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, 0);
        EXPECT_EQ(s.midiOpen, 0);
        EXPECT_FALSE(input.isOpen());
        EXPECT_EQ(printed, "") << "the libraries' own messages must stay off the terminal";
    }
    closeMidiInput(s, input);  // closing what never opened is harmless
    EXPECT_EQ(s.midiOpen, 0);
    EXPECT_EQ(delivered, 0);
}

TEST(MidiControl, ClosingClearsMidiOpenAndKeepsTheKeys) {
    EngineState s;
    s.rateParam = 22051;
    onMidiMessage(s, packMidi(0x90, 60, 100));
    onMidiMessage(s, packMidi(0x90, 72, 100));
    const float step = s.midiStep;
    s.midiOpen = 1;
    MidiInput input;
    closeMidiInput(s, input);
    EXPECT_EQ(s.midiOpen, 0);
    EXPECT_EQ(s.midiNote, 61);
    EXPECT_EQ(s.noteDown[48], 1);
    EXPECT_EQ(s.noteDown[60], 1);
    EXPECT_FLOAT_EQ(s.midiFreq, 523.0f);
    EXPECT_EQ(s.midiStep, step);
}

}  // namespace
}  // namespace voltina
