// The accumulator, multiplier, sinusoider, Wave player and MIDI voice steps.

#include "engine/modules.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/oscillator.h"
#include "engine_test_support.h"

namespace voltina {
namespace {

using test::constantSource;
using test::prepareState;

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prepareState(s);
        // oscillators 6 and 7 serve as the two operands of whichever module is under test
        constantSource(s, 6, 0.0f);
        constantSource(s, 7, 0.0f);
    }
    void operands(float a, float b) {
        s.outValue[6] = a;
        s.outValue[7] = b;
    }
    float accumulate(float start, float a, float b) {
        plugCord(s, 6, kInAccumulator);
        plugCord(s, 7, kInAccumulator + 1);
        s.outValue[kOutAccumulator] = start;
        operands(a, b);
        stepAccumulator(s, 0);
        return s.outValue[kOutAccumulator];
    }
    float multiply(float a, float b) {
        plugCord(s, 6, kInMultiplier + 2);
        plugCord(s, 7, kInMultiplier + 3);
        operands(a, b);
        stepMultiplier(s, 1);
        return s.outValue[kOutMultiplier + 1];
    }
    float sinusoid(float amplitude, float angle) {
        plugCord(s, 6, kInSinusoider + 4);
        plugCord(s, 7, kInSinusoider + 5);
        operands(amplitude, angle);
        stepSinusoider(s, 2);
        return s.outValue[kOutSinusoider + 2];
    }
    EngineState s;
};

TEST_F(ModuleTest, AccumulatorRisesByOnePerFrameAndWraps) {
    // both inputs at 6: a twelfth of 12 per frame
    EXPECT_EQ(accumulate(0.0f, 6.0f, 6.0f), 1.0f);
    float v = 126.0f;
    const float expected[] = {127.0f, 128.0f, 129.0f, -126.0f, -125.0f};
    for (float e : expected) {
        v = accumulate(v, 6.0f, 6.0f);
        EXPECT_EQ(v, e);
    }
}

TEST_F(ModuleTest, AccumulatorWrapsDownwardToo) {
    EXPECT_EQ(accumulate(-126.0f, -6.0f, -6.0f), 129.0f);      // -127 comes back as 129
    EXPECT_EQ(accumulate(-120.0f, -127.0f, -127.0f), 115.0f);  // -141.17 cut to -141, then + 256
}

TEST_F(ModuleTest, AccumulatorCutsTowardZero) {
    EXPECT_EQ(accumulate(5.0f, -3.0f, -3.0f), 4.0f);    // 4.5 -> 4
    EXPECT_EQ(accumulate(5.0f, 3.0f, 3.0f), 5.0f);      // 5.5 -> 5: a small step never leaves zero behind
    EXPECT_EQ(accumulate(-5.0f, 3.0f, 3.0f), -4.0f);    // -4.5 -> -4
    EXPECT_EQ(accumulate(-5.0f, -3.0f, -3.0f), -5.0f);  // -5.5 -> -5
    EXPECT_EQ(accumulate(0.0f, 5.9f, 5.9f), 0.0f);      // 0.983 -> 0
}

TEST_F(ModuleTest, AccumulatorLargeStepWrapsOnce) {
    EXPECT_EQ(accumulate(100.0f, 127.0f, 127.0f), 121.0f);   // + 21.17
    EXPECT_EQ(accumulate(120.0f, 127.0f, 127.0f), -115.0f);  // 141 - 256
}

TEST_F(ModuleTest, AccumulatorSlowsOnlyTheOscillatorsItReads) {
    s.oscSlow[6] = 0;
    s.oscSlow[7] = 0;
    accumulate(0.0f, 1.0f, 1.0f);
    for (int i = 0; i < kOscillators; ++i) EXPECT_EQ(s.oscSlow[i], (i == 6 || i == 7) ? 1 : 0) << i;
    // a non-oscillator source slows nothing
    s.oscSlow[6] = 0;
    s.oscSlow[7] = 0;
    plugCord(s, kOutMultiplier, kInAccumulator + 2);
    plugCord(s, kOutWave, kInAccumulator + 3);
    stepAccumulator(s, 1);
    for (int i = 0; i < kOscillators; ++i) EXPECT_EQ(s.oscSlow[i], 0) << i;
}

TEST_F(ModuleTest, MultiplierCutsAndSaturates) {
    EXPECT_EQ(multiply(127.0f, 127.0f), 110.0f);
    EXPECT_EQ(multiply(0.5f, 100.0f), 50.0f);
    EXPECT_EQ(multiply(-2.0f, 60.0f), -110.0f);
    EXPECT_EQ(multiply(10.9f, 1.0f), 10.0f);
    EXPECT_EQ(multiply(-10.9f, 1.0f), -10.0f);
    EXPECT_EQ(multiply(11.0f, 10.0f), 110.0f);
    EXPECT_EQ(multiply(10.99f, 10.0f), 109.0f);
    EXPECT_EQ(multiply(0.0f, -127.0f), 0.0f);
}

TEST_F(ModuleTest, SinusoiderMapsTheAngleInputOntoOneTurn) {
    EXPECT_EQ(sinusoid(100.0f, -127.0f), 0.0f);
    EXPECT_EQ(sinusoid(100.0f, 0.0f), static_cast<float>(100.0 * s.sinusoiderTable[127]));
    EXPECT_NEAR(sinusoid(100.0f, 0.0f), 2.5f, 0.05f);  // about 0.025 times the amplitude
    EXPECT_NEAR(sinusoid(100.0f, -63.0f), 100.0f, 1e-3f);
    EXPECT_NEAR(sinusoid(100.0f, 64.0f), -100.0f, 0.05f);
    EXPECT_EQ(sinusoid(-50.0f, -63.0f), static_cast<float>(-50.0 * s.sinusoiderTable[64]));
    // the angle is cut toward zero before the offset: -0.9 reads entry 127, not 126
    EXPECT_EQ(sinusoid(100.0f, -0.9f), static_cast<float>(100.0 * s.sinusoiderTable[127]));
    EXPECT_EQ(sinusoid(100.0f, 1.9f), static_cast<float>(100.0 * s.sinusoiderTable[128]));
}

TEST_F(ModuleTest, SinusoiderClampsItsIndex) {
    EXPECT_EQ(sinusoid(100.0f, 128.0f), static_cast<float>(100.0 * s.sinusoiderTable[255]));
    EXPECT_EQ(sinusoid(100.0f, 129.0f),
              static_cast<float>(100.0 * s.sinusoiderTable[255]));  // accumulator top
    EXPECT_EQ(sinusoid(100.0f, -128.0f), 0.0f);                     // Wave bottom
}

TEST_F(ModuleTest, WavePlaysBytesMinus128AndLoops) {
    auto sample = std::make_unique<SampleRecord>();
    sample->data = {0, 128, 255};
    sample->dataLength = 3;
    s.waveSample = std::move(sample);
    const float expected[] = {-128.0f, 0.0f, 127.0f, -128.0f, 0.0f};
    for (float e : expected) {
        stepWave(s);
        EXPECT_EQ(s.outValue[kOutWave], e);
    }
    EXPECT_EQ(s.wavePos, 2u);
}

TEST_F(ModuleTest, OneByteSampleGivesAConstant) {
    auto sample = std::make_unique<SampleRecord>();
    sample->data = {200};
    sample->dataLength = 1;
    s.waveSample = std::move(sample);
    for (int i = 0; i < 5; ++i) {
        stepWave(s);
        ASSERT_EQ(s.outValue[kOutWave], 72.0f);
        ASSERT_EQ(s.wavePos, 0u);
    }
}

TEST_F(ModuleTest, EmptySampleReadsNothing) {
    auto sample = std::make_unique<SampleRecord>();
    sample->dataLength = 0;
    s.waveSample = std::move(sample);
    s.outValue[kOutWave] = 40.0f;
    stepWave(s);  // ASan would catch a read past the empty block
    EXPECT_EQ(s.outValue[kOutWave], 0.0f);
    EXPECT_EQ(s.wavePos, 0u);
}

class MidiVoiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prepareState(s);
        s.midiOpen = 1;
        s.midiNote = 58;
        s.midiFreq = 440.0f;
        s.midiStep = static_cast<float>(254.0 * 440.0 / 11026);
    }
    EngineState s;
};

TEST_F(MidiVoiceTest, SineReadsTheTableAndWrapsItsPhase) {
    s.outputUsed[kOutMidiSine] = 1;
    s.midiPhase = 11000.0f;
    stepMidiVoice(s);
    EXPECT_EQ(s.outValue[kOutMidiSine], s.sineTable[11000]);
    EXPECT_EQ(s.midiPhase, 11440.0f);
    stepMidiVoice(s);
    EXPECT_EQ(s.outValue[kOutMidiSine], s.sineTable[414]);
    EXPECT_EQ(s.midiPhase, 854.0f);
}

TEST_F(MidiVoiceTest, SquareAndSawtoothShareOneRampAdvancedOncePerFrame) {
    s.outputUsed[kOutMidiSquare] = 1;
    s.outputUsed[kOutMidiSaw] = 1;
    float ramp = 0.0f;
    float square = 0.0f;
    int toggles = 0;
    for (int frame = 0; frame < 200; ++frame) {
        stepMidiVoice(s);
        ramp = static_cast<float>(static_cast<double>(ramp) + s.midiStep);
        if (ramp > 127) {
            ramp = static_cast<float>(static_cast<double>(ramp) - 254);
            square = square == 127.0f ? 0.0f : 127.0f;
            ++toggles;
        }
        ASSERT_EQ(s.midiAcc, ramp) << frame;
        ASSERT_EQ(s.outValue[kOutMidiSaw], ramp) << frame;
        ASSERT_EQ(s.outValue[kOutMidiSquare], square) << frame;
    }
    EXPECT_GE(toggles, 7);  // 440 Hz: a wrap about every 25 frames
}

TEST_F(MidiVoiceTest, SawtoothAloneAdvancesTheRampItself) {
    s.outputUsed[kOutMidiSaw] = 1;
    s.midiAcc = 125.0f;
    stepMidiVoice(s);
    const float risen = static_cast<float>(125.0 + s.midiStep);  // 130.9: past the top
    EXPECT_EQ(s.midiAcc, static_cast<float>(static_cast<double>(risen) - 254));
    EXPECT_EQ(s.outValue[kOutMidiSaw], s.midiAcc);
    EXPECT_EQ(s.outValue[kOutMidiSquare], 0.0f);  // no square without its cord
    stepMidiVoice(s);
    EXPECT_EQ(s.midiAcc,
              static_cast<float>(static_cast<double>(static_cast<float>(static_cast<double>(risen) - 254)) +
                                 s.midiStep));
}

TEST_F(MidiVoiceTest, UnpatchedOutputsAreNotComputed) {
    s.outValue[kOutMidiSine] = 5.0f;
    s.outValue[kOutMidiSquare] = 6.0f;
    s.outValue[kOutMidiSaw] = 7.0f;
    stepMidiVoice(s);
    EXPECT_EQ(s.outValue[kOutMidiSine], 5.0f);
    EXPECT_EQ(s.outValue[kOutMidiSquare], 6.0f);
    EXPECT_EQ(s.outValue[kOutMidiSaw], 7.0f);
    EXPECT_EQ(s.midiPhase, 0.0f);
    EXPECT_EQ(s.midiAcc, 0.0f);
}

}  // namespace
}  // namespace voltina
