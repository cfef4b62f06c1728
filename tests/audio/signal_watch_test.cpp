// What the scope and the level meter read off the live render, on known signals: each row plays a patch
// through the ring render with a SignalWatch, its capture pointed at one jack, and checks the jack's
// extremes, its frequency where it repeats, and the output's level.
#include "audio/signal_watch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "audio/signal_readings.h"
#include "engine/defaults.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/test_patches.h"

namespace voltina {
namespace {

struct WatchedHost : test::FakeHost {
    RenderWatch* watch() override { return watched; }
    RenderWatch* watched = nullptr;
};

struct KnownSignal {
    const char* what;
    std::function<void(EngineState&)> patch;
    int output;  // the jack watched, by the engine's index; an input when `input`
    bool input;
    float minimum, maximum;  // within 1
    double frequency;        // within 1 %; 0: does not repeat
    int peakLeft;            // the level meter's left peak, within 1; -1: not checked
    bool clipped;
};

// The start-up patch with oscillator 4 heard on mixer channel 1: an oscillator nothing hears is not computed.
void defaultPatch(EngineState& s) {
    setEngineDefaults(s);
    plugCord(s, kOutOscA + 3, kInMixer);
    test::startSound(s);
}

TEST(SignalWatch, ReadsKnownSignals) {
    const KnownSignal rows[] = {
        {"the default patch's oscillator 4, a 130 Hz sine", defaultPatch, kOutOscA + 3, false, -127, 127,
         130.0, -1, false},
        {"its jack B, the same sine", defaultPatch, kOutOscB + 3, false, -127, 127, 130.0, -1, false},
        {"auto-pan 1's sound input: sinusoider 1's pulse, shaped by a 1.52 Hz sine", defaultPatch,
         kInPanoramiker, true, -127, 127, 1.52, -1, false},
        {"a free input", defaultPatch, kInMixer + 1, true, 0, 0, 0.0, -1, false},
        {"an output nothing computes keeps its value", defaultPatch, kOutAccumulator, false, 0, 0, 0.0, -1,
         false},
        {"a 256 Hz pulse alone at full level: an octave down, and the mix clips",
         [](EngineState& s) {
             defaultPatch(s);
             clearCords(s);
             s.oscType[0] = kSquare;
             s.oscFreq[0] = 256.0f;
             plugCord(s, kOutOscA, kInMixer);
             s.mixLevel[0] = 128;
             s.mixPan[0] = 0;
             test::startSound(s);
         },
         kOutOscA, false, 0, 127, 128.0, 127, true},
        {"a 2 Hz sine, into a mixer channel at half level",
         [](EngineState& s) {
             defaultPatch(s);
             clearCords(s);
             s.oscFreq[1] = 2.0f;
             plugCord(s, kOutOscA + 1, kInMixer);
             s.mixLevel[0] = 64;
             s.mixPan[0] = 0;
             test::startSound(s);
         },
         kOutOscA + 1, false, -127, 127, 2.0, 63, false},
        {"a random oscillator does not repeat",
         [](EngineState& s) {
             defaultPatch(s);
             s.oscType[0] = kRandom;
             s.oscFreq[0] = 400.0f;
             test::startSound(s);
         },
         kOutOscA, false, -127, 127, 0.0, -1, false},
    };
    for (const KnownSignal& row : rows) {
        SCOPED_TRACE(row.what);
        EngineState s;
        test::prepareState(s);
        row.patch(s);
        SignalWatch watch(s);
        WatchedHost host;
        host.watched = &watch;
        watch.setScopeOpen(true);
        if (row.input)
            watch.capture().watchInput(row.output);
        else
            watch.capture().watchOutput(row.output);
        // three seconds, a render gate's worth at a time
        for (int call = 0; call < 30; ++call) {
            host.position += 1102;
            renderBlock(s, host);
        }
        const JackCapture& capture = watch.capture();
        ASSERT_EQ(capture.held(), (row.input && !hasCord(s, row.output)) ? 0u : 30u * 1102u);
        std::vector<float> values(capture.held());
        capture.copyNewest(values.data(), values.size());
        const SignalReading r = readExtremes(values.data(), values.size());
        EXPECT_NEAR(r.minimum, row.minimum, 1.0);
        EXPECT_NEAR(r.maximum, row.maximum, 1.0);
        const double f = repeatFrequency(values.data(), values.size(), capture.sampleRate());
        if (row.frequency == 0.0) {
            EXPECT_EQ(f, 0.0);
        } else {
            EXPECT_NEAR(f, row.frequency, row.frequency / 100);
        }
        const LevelPeaks peaks = watch.level().takePeaks();
        if (row.peakLeft >= 0) {
            EXPECT_NEAR(peaks.left, row.peakLeft, 1);
        }
        EXPECT_EQ(peaks.clipped, row.clipped);
    }
}

// Closed, the scope costs the engine nothing and keeps nothing; the meter goes on.
TEST(SignalWatch, KeepsNothingWhileTheScopeIsClosed) {
    EngineState s;
    test::prepareState(s);
    defaultPatch(s);
    SignalWatch watch(s);
    WatchedHost host;
    host.watched = &watch;
    watch.capture().watchOutput(kOutOscA + 3);
    host.position += 1102;
    renderBlock(s, host);
    EXPECT_EQ(watch.capture().held(), 0u);
    EXPECT_GT(watch.level().takePeaks().left, 0);
    EXPECT_EQ(levelWords(levelPercent(127), levelPercent(0), true), "left 100 %, right 0 %, clipping");
}

}  // namespace
}  // namespace voltina
