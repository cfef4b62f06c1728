// Each gesture's own arithmetic, as applyEdit does it, and the cord rules that refuse a plug.

#include "patch/apply_edit.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "engine/defaults.h"
#include "engine/oscillator.h"
#include "patch/controls.h"

namespace voltina {
namespace {

std::unique_ptr<EngineState> startState() {
    auto s = std::make_unique<EngineState>();
    setEngineDefaults(*s);
    tidyInputsWithoutCord(*s);
    return s;
}

TEST(ApplyEdit, EachGestureKeepsItsOwnArithmetic) {
    struct Case {
        const char* what;
        std::function<void(EngineState&)> before;
        Edit edit;
        std::function<void(const EngineState&)> check;
    };
    const auto nothing = [](EngineState&) {};
    const Case cases[] = {
        {"knob tick in float", nothing, Edit::frequencyKnob(3, -0.01f),
         [](const EngineState& s) { EXPECT_EQ(s.oscFreq[3], 130.0f + -0.01f); }},
        {"knob tick held at 0.01", [](EngineState& s) { s.oscFreq[3] = 0.02f; },
         Edit::frequencyKnob(3, -50.0f), [](const EngineState& s) { EXPECT_EQ(s.oscFreq[3], 0.01f); }},
        {"knob tick held at 5500", nothing, Edit::frequencyKnob(3, 6000.0f),
         [](const EngineState& s) { EXPECT_EQ(s.oscFreq[3], 5500.0f); }},
        {"knob tick derives a square", [](EngineState& s) { s.oscType[6] = kSquare; },
         Edit::frequencyKnob(6, 100.0f),
         [](const EngineState& s) {
             EXPECT_EQ(s.oscPhase[6], static_cast<float>(254.0 * 260.0f / s.rateParam));
         }},
        {"knob tick leaves a sine's phase", [](EngineState& s) { s.oscPhase[2] = 77.0f; },
         Edit::frequencyKnob(2, 1.0f), [](const EngineState& s) { EXPECT_EQ(s.oscPhase[2], 77.0f); }},
        {"typed capped at 5000", nothing, Edit::typedFrequency(4, 6000.0f),
         [](const EngineState& s) { EXPECT_EQ(s.oscFreq[4], 5000.0f); }},
        {"typed zero changes nothing", nothing, Edit::typedFrequency(4, 0.0f),
         [](const EngineState& s) { EXPECT_EQ(s.oscFreq[4], 140.0f); }},
        {"typed derives a sawtooth", [](EngineState& s) { s.oscType[4] = kSawtooth; },
         Edit::typedFrequency(4, 300.0f),
         [](const EngineState& s) {
             EXPECT_EQ(s.oscPhase[4], static_cast<float>(254.0 * 300.0f / s.rateParam));
         }},
        {"frequency as a configuration, up to 5500", nothing, Edit::frequency(4, 5200.0f),
         [](const EngineState& s) { EXPECT_EQ(s.oscFreq[4], 5200.0f); }},
        {"type derived before it is stored", nothing, Edit::waveType(5, kSquare),
         [](const EngineState& s) {
             EXPECT_EQ(s.oscType[5], kSquare);
             EXPECT_EQ(s.oscPhase[5], static_cast<float>(254.0 * 150.0f / s.rateParam));
         }},
        {"level tick truncates toward zero", [](EngineState& s) { s.mixLevel[1] = 5; },
         Edit::levelKnob(1, -5.5f), [](const EngineState& s) { EXPECT_EQ(s.mixLevel[1], 0); }},
        {"level tick held at 128", nothing, Edit::levelKnob(1, 100.0f),
         [](const EngineState& s) { EXPECT_EQ(s.mixLevel[1], 128); }},
        {"pan tick by five, held at 100", [](EngineState& s) { s.mixPan[6] = 98; }, Edit::panKnob(6, +1),
         [](const EngineState& s) { EXPECT_EQ(s.mixPan[6], 100); }},
        {"pan tick left", nothing, Edit::panKnob(6, -1),
         [](const EngineState& s) { EXPECT_EQ(s.mixPan[6], 45); }},
        {"unplug at the input keeps the output's value", [](EngineState& s) { s.outValue[0] = 55.0f; },
         Edit::unplugAtInput(20),
         [](const EngineState& s) {
             EXPECT_FALSE(hasCord(s, 20));
             EXPECT_EQ(s.cordSource[20], kNoCord);
             EXPECT_EQ(s.outputUsed[0], 0);
             EXPECT_EQ(s.outValue[0], 55.0f);
         }},
        {"unplug at the output zeroes it", [](EngineState& s) { s.outValue[0] = 55.0f; },
         Edit::unplugAtOutput(0),
         [](const EngineState& s) {
             EXPECT_FALSE(hasCord(s, 20));
             EXPECT_EQ(s.outputUsed[0], 0);
             EXPECT_EQ(s.outValue[0], 0.0f);
         }},
        {"a removed sample leaves the Wave output silent",
         [](EngineState& s) {
             s.waveSample = std::make_shared<SampleRecord>();
             s.outValue[kOutWave] = 40.0f;
         },
         Edit::removeSample(),
         [](const EngineState& s) {
             EXPECT_EQ(s.waveSample, nullptr);
             EXPECT_EQ(s.outValue[kOutWave], 0.0f);
         }},
        {"a loaded sample plays from its first byte", [](EngineState& s) { s.wavePos = 9; },
         Edit::loadSample(std::make_shared<SampleRecord>(), "/x/LOOP.WAV"),
         [](const EngineState& s) {
             EXPECT_NE(s.waveSample, nullptr);
             EXPECT_EQ(s.wavePos, 0u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = startState();
        c.before(*s);
        EXPECT_TRUE(applyEdit(*s, c.edit).taken());
        c.check(*s);
    }
}

TEST(ApplyEdit, RefusedPlugsChangeNothingAndSayWhy) {
    struct Case {
        int output, input;
        PlugRule rule;
        const char* message;
    };
    // The start-up patch: 401->321, 402->322, 415->327, 403->328, 418->307.
    const Case cases[] = {
        {3, 20, PlugRule::InputTaken, "Input jack 321 already carries a cord (from 401)"},
        {0, 8, PlugRule::OutputTaken, "Output jack 401 already carries a cord (into 321)"},
        {18, 8, PlugRule::AutoPanOutsideMixer,
         "The auto-pan outputs must be plugged in the mixer (301 to 308), not 309"},
        {40, 8, PlugRule::NoSuchJack,
         "Jacks are 401 to 432 (outputs) and 301 to 332 (inputs), not 441 and 309"},
    };
    for (const Case& c : cases) {
        auto s = startState();
        const PanelPatch before = capturePatch(*s, "");
        const EditResult result = applyEdit(*s, Edit::plug(c.output, c.input));
        EXPECT_FALSE(result.taken());
        EXPECT_EQ(result.rule, c.rule);
        EXPECT_EQ(plugRuleMessage(c.rule, *s, c.output, c.input), c.message);
        EXPECT_TRUE(samePatch(capturePatch(*s, ""), before));
    }
    auto s = startState();
    EXPECT_TRUE(applyEdit(*s, Edit::plug(18, 7)).taken());  // 419 into a mixer input
}

TEST(ApplyEdit, RestoreTouchesOnlyWhatDiffers) {
    auto s = startState();
    s->oscType[4] = kRandom;
    s->oscCounter[4] = 3;  // a random wave part-way through its hold
    PanelPatch target = capturePatch(*s, "");
    target.mixLevel[0] = 12;
    target.oscFreq[1] = 99.0f;
    applyEdit(*s, Edit::restore(target));
    EXPECT_EQ(s->oscCounter[4], 3);  // not derived again: it did not change
    EXPECT_EQ(s->mixLevel[0], 12);
    EXPECT_EQ(s->oscFreq[1], 99.0f);
    EXPECT_TRUE(samePatch(capturePatch(*s, ""), target));
}

// The table's ranges are the edits' own: a value set outright at each end of a control's range (and
// beyond it) is what the engine then holds, and the table allows what it holds.
TEST(ApplyEdit, EveryControlHoldsTheTablesRange) {
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.eventName);
        const double span = row.maximum - row.minimum;
        for (double v :
             {row.minimum + (row.aboveMinimum ? 0.5 : 0.0), row.maximum, row.maximum + span, -span}) {
            auto s = startState();
            applyEdit(*s, controlEdit(row, 2, v));
            const double held = controlValue(row, *s, 2);
            EXPECT_TRUE(controlAllows(row, held)) << v << " left " << held;
            if (controlAllows(row, v)) {
                EXPECT_EQ(held, v);
            }
        }
    }
}

}  // namespace
}  // namespace voltina
