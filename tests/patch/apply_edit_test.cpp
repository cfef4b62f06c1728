// Each gesture's own arithmetic, as applyEdit does it, and the cord rules that refuse a plug.

#include "patch/apply_edit.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "engine/defaults.h"
#include "engine/midi_keys.h"
#include "engine/oscillator.h"
#include "patch/controller_map.h"
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

// A controller's message through the bindings: the mapping of each control, the channel a binding
// listens on, the fine part of a 14-bit controller, and the messages no binding takes.
TEST(ApplyEdit, AControllerSetsItsControlOutright) {
    const ControllerBindings bindings = {{7, 0, Control::Level, 1},      {10, 0, Control::Pan, 1},
                                         {74, 2, Control::Frequency, 2}, {20, 0, Control::WaveType, 0},
                                         {1, 0, Control::Level, 5},      {33, 0, Control::Pan, 5}};
    ControllerMap map(bindings);
    struct Row {
        int status, cc, value;
        EditKind kind;  // Sync: no binding takes it
        int index;
        double set;
    };
    const Row rows[] = {
        {0xB0, 7, 0, EditKind::Level, 1, 0},
        {0xB5, 7, 64, EditKind::Level, 1, 65},  // round(64 x 128 / 127)
        {0xB0, 7, 127, EditKind::Level, 1, 128},
        {0xB0, 10, 4, EditKind::Pan, 1, 5},  // 5 x round(0.63)
        {0xB0, 10, 64, EditKind::Pan, 1, 50},
        {0xB0, 10, 127, EditKind::Pan, 1, 100},
        {0xB1, 74, 0, EditKind::Frequency, 2, 0.01},
        {0xB1, 74, 127, EditKind::Frequency, 2, 5500},
        {0xB1, 74, 64, EditKind::Frequency, 2, 7.81},  // 0.01 x 550000^(64/127), in hundredths
        {0xB0, 74, 64, EditKind::Sync, 0, 0},          // midi-channel 2 only
        {0xB0, 20, 31, EditKind::WaveType, 0, 0},
        {0xB0, 20, 32, EditKind::WaveType, 0, 1},
        {0xB0, 20, 127, EditKind::WaveType, 0, 3},
        {0xB0, 1, 127, EditKind::Level, 5, 128},
        {0xB0, 33, 0, EditKind::Pan, 5, 0},       // 33 is bound itself
        {0xB0, 52, 0, EditKind::WaveType, 0, 3},  // controller 20's fine part: 127 x 128 in four bands
        {0xB0, 21, 5, EditKind::Sync, 0, 0},
        {0xB0, 121, 0, EditKind::Sync, 0, 0},
        {0x90, 7, 100, EditKind::Sync, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.status) + " " + std::to_string(r.cc) + " " + std::to_string(r.value));
        Edit edit;
        const ControllerBinding* b = map.translate(packMidi(r.status, r.cc, r.value), edit);
        if (r.kind == EditKind::Sync) {
            EXPECT_EQ(b, nullptr);
            continue;
        }
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(edit.kind, r.kind);
        EXPECT_EQ(edit.index, r.index);
        EXPECT_NEAR(r.kind == EditKind::Frequency ? edit.amount : edit.value, r.set, 1e-4);
    }
    // A 14-bit level: the coarse part alone is a 7-bit value, the fine part after it refines it.
    ControllerMap fine({{2, 0, Control::Level, 0}});
    Edit edit;
    EXPECT_EQ(fine.translate(packMidi(0xB3, 34, 100), edit), nullptr);  // no coarse part yet
    ASSERT_NE(fine.translate(packMidi(0xB3, 2, 63), edit), nullptr);
    EXPECT_EQ(edit.value, 63);  // round(63 x 128 / 127)
    ASSERT_NE(fine.translate(packMidi(0xB3, 34, 127), edit), nullptr);
    EXPECT_EQ(edit.value, 64);                                          // round(8191 x 128 / 16383)
    EXPECT_EQ(fine.translate(packMidi(0xB4, 34, 127), edit), nullptr);  // another channel's coarse part
}

}  // namespace
}  // namespace voltina
