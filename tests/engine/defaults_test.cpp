// Start-up values, the default patch, the note table and the frequency captions.

#include "engine/defaults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "engine/frequency_text.h"

namespace voltina {
namespace {

TEST(FormatFrequency, CutsToTwoDecimals) {
    EXPECT_EQ(formatFrequency(256.0f), "256.00");
    EXPECT_EQ(formatFrequency(1.52f), "1.52");
    EXPECT_EQ(formatFrequency(2.16f), "2.16");
    EXPECT_EQ(formatFrequency(0.5f), "0.50");
    EXPECT_EQ(formatFrequency(0.05f), "0.05");
    EXPECT_EQ(formatFrequency(5500.0f), "5500.00");
    EXPECT_EQ(formatFrequency(5000.0f), "5000.00");
    EXPECT_EQ(formatFrequency(170.25f), "170.25");
}

// 3.3 is stored as 3.2999999: the hundredths are cut, not rounded.
TEST(FormatFrequency, StoredBelowARoundFigureShowsTheLowerFigure) {
    EXPECT_EQ(formatFrequency(3.3f), "3.29");
}

// 0.01 is stored as 0.0099999998; its hundredths, rounded to float before the cut, are exactly 1.
TEST(FormatFrequency, HundredthsAreRoundedToFloatBeforeTheCut) {
    EXPECT_EQ(formatFrequency(0.01f), "0.01");
}

TEST(NoteFreqTable, EqualTemperedToTheWholeHertz) {
    EXPECT_EQ(noteFreqTable[60 - 12], 261);
    EXPECT_EQ(noteFreqTable[69 - 12], 440);
    EXPECT_EQ(noteFreqTable[0], 16);
    EXPECT_EQ(noteFreqTable[95], 3951);
    for (int i = 0; i < kNoteCount; ++i) {
        const double exact = 440.0 * std::pow(2.0, (i + 12 - 69) / 12.0);
        EXPECT_LT(std::fabs(noteFreqTable[i] - exact), 1.0) << "index " << i;
        if (i > 0) {
            EXPECT_GT(noteFreqTable[i], noteFreqTable[i - 1]) << "index " << i;
        }
    }
}

TEST(Defaults, OscillatorsAndMixer) {
    EngineState s;
    setEngineDefaults(s);
    const float freq[kOscillators] = {256.0f, 1.52f, 2.16f, 130.0f, 140.0f, 150.0f, 160.0f, 170.0f};
    for (int k = 0; k < kOscillators; ++k) {
        EXPECT_EQ(s.oscFreq[k], freq[k]) << k;
        EXPECT_EQ(s.oscType[k], k == 0 ? kSquare : kSine) << k;
        EXPECT_EQ(s.oscPhase[k], 0.0f) << k;
        EXPECT_EQ(s.mixLevel[k], 80) << k;
        EXPECT_EQ(s.mixPan[k], 50) << k;
    }
    EXPECT_EQ(s.rateParam, 11026);
    EXPECT_EQ(s.stereoOut, 1);
}

TEST(Defaults, DefaultPatchCords) {
    EngineState s;
    clearCords(s);
    setEngineDefaults(s);
    const std::set<int> usedOutputs = {0, 1, 2, 14, 17};
    for (int o = 0; o < kJacks; ++o)
        EXPECT_EQ(s.outputUsed[o], usedOutputs.count(o) ? 1 : 0) << "output " << o;
    // input index -> output index
    const std::pair<int, int> cords[] = {{20, 0}, {21, 1}, {26, 14}, {27, 2}, {6, 17}};
    std::set<int> inputs;
    for (const auto& [in, out] : cords) {
        EXPECT_EQ(s.cordPresent[in], 1) << "input " << in;
        EXPECT_EQ(s.cordSource[in], out) << "input " << in;
        inputs.insert(in);
    }
    for (int i = 0; i < kJacks; ++i) {
        if (!inputs.count(i)) {
            EXPECT_EQ(s.cordPresent[i], 0) << "input " << i;
        }
    }
}

TEST(Cords, PlugAndClear) {
    EngineState s;
    plugCord(s, 31, 7);
    EXPECT_EQ(s.outputUsed[31], 1);
    EXPECT_EQ(s.cordPresent[7], 1);
    EXPECT_EQ(s.cordSource[7], 31);
    clearCords(s);
    EXPECT_EQ(s.outputUsed[31], 0);
    EXPECT_EQ(s.cordPresent[7], 0);
    EXPECT_EQ(s.cordSource[7], kNoCord);
}

}  // namespace
}  // namespace voltina
