#include "midi/midi_ports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "midi/midi_port_option.h"

namespace voltina {
namespace {

const std::vector<std::string> kAlsaPorts = {
    "Midi Through:Midi Through Port-0 14:0",
    "Voltina MIDI:midi_in 128:0",
    "USB Keys:USB Keys MIDI 1 20:0",
    "Digital Piano:Digital Piano MIDI 1 24:0",
};

TEST(MidiPorts, FirstDevicePortSkipsMidiThroughAndOwnPorts) {
    EXPECT_EQ(chooseInputPort(kAlsaPorts, ""), 2);
    EXPECT_EQ(chooseInputPort({"Midi Through:Midi Through Port-0 14:0", "Voltina MIDI:midi_in 128:0"}, ""),
              -1);
    EXPECT_EQ(chooseInputPort({}, ""), -1);
    // JACK: the a2j bridge lists the loop-back too, and a second Voltina is renamed Voltina MIDI-01.
    const std::vector<std::string> jackPorts = {
        "a2j:Midi Through [14] (capture): Midi Through Port-0",
        "Voltina MIDI-01:midi_in",
        "system:midi_capture_1",
    };
    EXPECT_EQ(chooseInputPort(jackPorts, ""), 2);
    EXPECT_FALSE(isDevicePort("PipeWire-RT-Event:input 129:0"));
    EXPECT_TRUE(isDevicePort("VoltageKeys:out"));  // only a client named Voltina is ours
}

TEST(MidiPorts, ChoiceIsAPartOfANameInAnyCase) {
    EXPECT_EQ(chooseInputPort(kAlsaPorts, "piano"), 3);
    EXPECT_EQ(chooseInputPort(kAlsaPorts, "24:0"), 3);
    EXPECT_EQ(chooseInputPort(kAlsaPorts, "MIDI 1"), 2);    // the first that fits
    EXPECT_EQ(chooseInputPort(kAlsaPorts, "through"), 0);   // asked for by name, the loop-back is allowed
    EXPECT_EQ(chooseInputPort(kAlsaPorts, "Voltina"), -1);  // never our own port
    EXPECT_EQ(chooseInputPort(kAlsaPorts, "Organ"), -1);
}

// argv as main receives it: the strings followed by a null pointer.
struct Args {
    explicit Args(std::vector<std::string> words) : strings(std::move(words)) {
        for (auto& s : strings) pointers.push_back(s.data());
        pointers.push_back(nullptr);
        argc = static_cast<int>(strings.size());
    }
    std::vector<std::string> rest() const { return {pointers.begin(), pointers.begin() + argc}; }
    std::vector<std::string> strings;
    std::vector<char*> pointers;
    int argc = 0;
};

TEST(MidiPortOption, TakesTheOptionOutOfTheArguments) {
    Args a({"voltina", "--audio", "null", "--midi-port", "USB Keys", "-x"});
    std::string choice, error;
    ASSERT_TRUE(takeMidiPortOption(a.argc, a.pointers.data(), choice, error));
    EXPECT_EQ(choice, "USB Keys");
    EXPECT_EQ(a.rest(), (std::vector<std::string>{"voltina", "--audio", "null", "-x"}));
    EXPECT_EQ(a.pointers[static_cast<std::size_t>(a.argc)], nullptr);

    Args b({"voltina", "--midi-port=first", "--midi-port=20:0"});
    choice.clear();
    ASSERT_TRUE(takeMidiPortOption(b.argc, b.pointers.data(), choice, error));
    EXPECT_EQ(choice, "20:0");  // the last one wins
    EXPECT_EQ(b.rest(), std::vector<std::string>{"voltina"});

    // After "--" every word is a file name, one that looks like the option too.
    Args d({"voltina", "--midi-port", "keys", "--", "--midi-port=x", "--midi-port"});
    choice.clear();
    ASSERT_TRUE(takeMidiPortOption(d.argc, d.pointers.data(), choice, error));
    EXPECT_EQ(choice, "keys");
    EXPECT_EQ(d.rest(), (std::vector<std::string>{"voltina", "--", "--midi-port=x", "--midi-port"}));
    EXPECT_EQ(d.pointers[static_cast<std::size_t>(d.argc)], nullptr);

    Args c({"voltina"});
    choice.clear();
    ASSERT_TRUE(takeMidiPortOption(c.argc, c.pointers.data(), choice, error));
    EXPECT_TRUE(choice.empty());
    EXPECT_EQ(c.argc, 1);
}

TEST(MidiPortOption, AMissingNameIsAnError) {
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"voltina", "--midi-port"},
             {"voltina", "--midi-port="},
             {"voltina", "--midi-port", ""},
             {"voltina", "--midi-port", "--audio", "null"},
         }) {
        Args a(words);
        std::string choice, error;
        EXPECT_FALSE(takeMidiPortOption(a.argc, a.pointers.data(), choice, error)) << words.back();
        EXPECT_NE(error.find("--midi-port"), std::string::npos);
        EXPECT_TRUE(choice.empty());
        for (const auto& left : a.rest()) EXPECT_EQ(left.find("--midi-port"), std::string::npos);
    }
    Args d({"voltina", "--midi-port", "--audio", "null"});
    std::string choice, error;
    takeMidiPortOption(d.argc, d.pointers.data(), choice, error);
    EXPECT_EQ(d.rest(), (std::vector<std::string>{"voltina", "--audio", "null"}));
}

}  // namespace
}  // namespace voltina
