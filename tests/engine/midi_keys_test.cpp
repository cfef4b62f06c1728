// Decoding short MIDI messages into the one sounding key: last-note priority, fall-back to the lowest
// held key on release.

#include "engine/midi_keys.h"

#include <gtest/gtest.h>

#include "engine/defaults.h"
#include "engine_test_support.h"

namespace voltina {
namespace {

class MidiKeysTest : public ::testing::Test {
  protected:
    void SetUp() override { test::prepareState(s); }
    void noteOn(int note, int velocity = 100, int channel = 0) {
        onMidiMessage(s, packMidi(0x90 | channel, note, velocity));
    }
    void noteOff(int note, int channel = 0) { onMidiMessage(s, packMidi(0x80 | channel, note, 64)); }
    void dirtyOutputs() {
        s.outValue[kOutMidiSine] = 1.0f;
        s.outValue[kOutMidiSquare] = 127.0f;
        s.outValue[kOutMidiSaw] = -3.0f;
    }
    void expectOutputsSilenced() {
        EXPECT_EQ(s.outValue[kOutMidiSine], 0.0f);
        EXPECT_EQ(s.outValue[kOutMidiSquare], 0.0f);
        EXPECT_EQ(s.outValue[kOutMidiSaw], 0.0f);
    }
    EngineState s;
};

TEST_F(MidiKeysTest, NoteIndexClamps) {
    EXPECT_EQ(noteIndex(12), 0);
    EXPECT_EQ(noteIndex(69), 57);
    EXPECT_EQ(noteIndex(107), 95);
    EXPECT_EQ(noteIndex(0), 0);
    EXPECT_EQ(noteIndex(11), 0);
    EXPECT_EQ(noteIndex(108), 95);
    EXPECT_EQ(noteIndex(127), 95);
}

TEST_F(MidiKeysTest, StartingAKeySetsPitchStepAndSilencesTheOutputs) {
    s.midiPhase = 77.0f;
    s.midiAcc = 12.0f;
    dirtyOutputs();
    noteOn(60);
    EXPECT_EQ(s.midiNote, 49);
    EXPECT_EQ(s.midiFreq, 261.0f);
    EXPECT_EQ(s.midiStep, static_cast<float>(254.0 * 261 / 11026));
    EXPECT_EQ(s.noteDown[48], 1);
    expectOutputsSilenced();
    // the waveform runs on from where the previous note left it
    EXPECT_EQ(s.midiPhase, 77.0f);
    EXPECT_EQ(s.midiAcc, 12.0f);
}

TEST_F(MidiKeysTest, StepFollowsTheRate) {
    s.rateParam = 44101;
    noteOn(69);
    EXPECT_EQ(s.midiFreq, 440.0f);
    EXPECT_EQ(s.midiStep, static_cast<float>(254.0 * 440 / 44101));
}

TEST_F(MidiKeysTest, StepOfEveryNoteAtEveryRate) {
    for (int rateParam : {11026, 22051, 44101}) {
        s.rateParam = rateParam;
        for (int note = 12; note <= 107; ++note) {
            noteOn(note);
            ASSERT_EQ(s.midiStep, static_cast<float>(254.0 * noteFreqTable[note - 12] / rateParam)) << note;
        }
    }
}

TEST_F(MidiKeysTest, ReleasingTheSoundingKeyFallsBackToTheStillHeldKey) {
    noteOn(60);
    noteOn(64);
    EXPECT_EQ(s.midiNote, 53);
    EXPECT_EQ(s.midiFreq, 329.0f);
    dirtyOutputs();
    noteOff(64);
    EXPECT_EQ(s.midiNote, 49);
    EXPECT_EQ(s.midiFreq, 261.0f);
    EXPECT_EQ(s.midiStep, static_cast<float>(254.0 * 261 / 11026));
    EXPECT_EQ(s.noteDown[52], 0);
    expectOutputsSilenced();
}

TEST_F(MidiKeysTest, FallBackGoesToTheLowestHeldKeyNotThePreviousOne) {
    noteOn(60);
    noteOn(72);
    noteOn(64);
    noteOff(64);
    EXPECT_EQ(s.midiNote, 49);
    EXPECT_EQ(s.noteDown[60], 1);  // 72 is still held, but does not sound
}

TEST_F(MidiKeysTest, ReleasingTheLastKeySilences) {
    noteOn(60);
    const float step = s.midiStep;
    dirtyOutputs();
    noteOff(60);
    EXPECT_EQ(s.midiNote, 0);
    EXPECT_EQ(s.midiFreq, 0.0f);
    EXPECT_EQ(s.midiStep, step);  // left as it was
    expectOutputsSilenced();
}

TEST_F(MidiKeysTest, ReleasingAnotherKeyChangesNothing) {
    noteOn(60);
    dirtyOutputs();
    noteOff(62);
    EXPECT_EQ(s.midiNote, 49);
    EXPECT_EQ(s.midiFreq, 261.0f);
    EXPECT_EQ(s.outValue[kOutMidiSquare], 127.0f);
    // and with nothing sounding, a stray release is harmless
    noteOff(60);
    noteOff(61);
    EXPECT_EQ(s.midiNote, 0);
}

TEST_F(MidiKeysTest, NoteOnWithVelocityZeroIsANoteOff) {
    noteOn(60);
    noteOn(60, 0);
    EXPECT_EQ(s.midiNote, 0);
    EXPECT_EQ(s.noteDown[48], 0);
}

TEST_F(MidiKeysTest, NotesOutsideTheTableAreClamped) {
    noteOn(5);
    EXPECT_EQ(s.midiFreq, 16.0f);
    EXPECT_EQ(s.midiNote, 1);
    noteOn(120);
    EXPECT_EQ(s.midiFreq, 3951.0f);
    EXPECT_EQ(s.midiNote, 96);
    noteOn(11);
    EXPECT_EQ(s.midiFreq, 16.0f);
}

TEST_F(MidiKeysTest, TwoNotesBelowTheTableShareIndexZero) {
    noteOn(3);
    noteOn(7);
    noteOff(3);  // releases index 0, which both share
    EXPECT_EQ(s.midiNote, 0);
    EXPECT_EQ(s.noteDown[0], 0);
}

TEST_F(MidiKeysTest, EveryChannelPlays) {
    noteOn(60, 100, 9);
    EXPECT_EQ(s.midiNote, 49);
    noteOff(60, 15);
    EXPECT_EQ(s.midiNote, 0);
}

TEST_F(MidiKeysTest, OtherMessagesAreIgnored) {
    noteOn(60);
    dirtyOutputs();
    for (int status : {0xB0, 0xE0, 0xA0, 0xC0, 0xD0, 0xF8, 0xFE, 0x70}) {
        onMidiMessage(s, packMidi(status, 62, 100));
        onMidiMessage(s, packMidi(status, 60, 0));
    }
    EXPECT_EQ(s.midiNote, 49);
    EXPECT_EQ(s.noteDown[50], 0);
    EXPECT_EQ(s.outValue[kOutMidiSquare], 127.0f);
}

TEST_F(MidiKeysTest, MessagesAreUnpackedFromTheirBytes) {
    // status in bits 0..7, note in 8..15, velocity in 16..23; higher bits play no part
    onMidiMessage(s, 0x90u | (64u << 8) | (1u << 16) | 0xFF000000u);
    EXPECT_EQ(s.midiNote, 53);
    onMidiMessage(s, 0x80u | (64u << 8));
    EXPECT_EQ(s.midiNote, 0);
}

}  // namespace
}  // namespace voltina
