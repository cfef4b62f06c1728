// The undo history through the session: random gestures with undos and redos between them, the
// grouping of a gesture's edits into one step, the saved point, and the bounds.

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "engine/defaults.h"
#include "engine/midi_keys.h"
#include "patch/controller_map.h"
#include "patch/controls.h"
#include "patch/patch_session.h"

namespace voltina {
namespace {

// What a configuration saved now would hold.
std::string saved(const PatchSession& session) {
    const PanelPatch p = session.snapshot();
    std::string t;
    for (int i = 0; i < kOscillators; ++i)
        t += std::to_string(p.oscType[i]) + ":" + std::to_string(p.oscFreq[i]) + " ";
    for (int i = 0; i < kMixerChannels; ++i)
        t += std::to_string(p.mixLevel[i]) + "/" + std::to_string(p.mixPan[i]) + " ";
    for (int i = 0; i < kJacks; ++i) t += std::to_string(p.cordSource[i]) + ",";
    for (const ControllerBinding& b : p.controllers)
        t += " cc" + std::to_string(b.cc) + "→" + std::to_string(static_cast<int>(b.control)) + ":" +
             std::to_string(b.index);
    return t + (p.sample ? " sample " + p.samplePath : " no sample");
}

// The routing's own consistency: an output is in use exactly when a cord leaves it, once; inputs without
// a cord are tidy.
void expectConsistent(const EngineState& s) {
    int fed[kJacks] = {};
    for (int i = 0; i < kJacks; ++i) {
        if (hasCord(s, i)) {
            ++fed[s.cordSource[i]];
            if (isPanoramikerOutput(s.cordSource[i])) {
                EXPECT_LT(i, kMixerChannels) << "input " << i;
            }
        } else {
            EXPECT_EQ(s.cordPresent[i], 0) << "input " << i;
            EXPECT_EQ(s.cordSource[i], kNoCord) << "input " << i;
        }
    }
    for (int o = 0; o < kJacks; ++o) {
        EXPECT_LE(fed[o], 1) << "output " << o;
        EXPECT_EQ(s.outputUsed[o], fed[o]) << "output " << o;
    }
}

struct Fixture {
    Fixture() : state(std::make_unique<EngineState>()) {
        setEngineDefaults(*state);
        tidyInputsWithoutCord(*state);
        session = std::make_unique<PatchSession>(*state, [this] { return now; });
    }
    std::unique_ptr<EngineState> state;
    std::unique_ptr<PatchSession> session;
    std::uint64_t now = 1000;
};

Edit randomGesture(std::mt19937& rng, const EngineState& s, const ControllerBindings& bound,
                   std::vector<std::shared_ptr<SampleRecord>>& samples) {
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const Control controls[] = {Control::WaveType, Control::Frequency, Control::Level, Control::Pan};
    switch (pick(14)) {
        case 11:  // a controller learnt, taking its number from the control it set
            return Edit::controllers(learnController(bound, {pick(4), 0, controls[pick(4)], pick(8)}), 0);
        case 12:
            return Edit::controllers(forgetControllers(bound, controls[pick(4)], pick(8)), 0);
        case 13: {  // a bound controller moved (or a number no binding hears)
            Edit edit;
            ControllerMap map(bound);
            return map.translate(packMidi(0xB0 + pick(16), pick(4), pick(128)), edit) ? edit : Edit::sync();
        }
        case 0:
            return Edit::frequencyKnob(pick(8), pick(2) ? 50.0f : -0.01f);
        case 1:
            return Edit::typedFrequency(pick(8), static_cast<float>(pick(6000)) + 0.25f);
        case 2:
            return Edit::waveType(pick(8), pick(4));
        case 3:
            return Edit::levelKnob(pick(8), pick(2) ? 10.0f : -1.0f);
        case 4:
            return Edit::panKnob(pick(8), pick(2) ? 1 : -1);
        case 5:
        case 6:
            return Edit::plug(pick(32), pick(32));  // often refused: the rules must hold anyway
        case 7:
            return Edit::unplugAtInput(pick(32));
        case 8:
            return Edit::unplugAtOutput(pick(32));
        case 9: {
            auto sample = std::make_shared<SampleRecord>();
            sample->data.assign(100, static_cast<std::uint8_t>(pick(256)));
            samples.push_back(sample);
            return Edit::loadSample(sample, "/samples/S" + std::to_string(samples.size()) + ".WAV");
        }
        default:
            return s.waveSample ? Edit::removeSample() : Edit::sync();
    }
}

TEST(EditHistory, RandomGesturesUndoneAndRedoneComeBackExactly) {
    for (unsigned run = 1; run <= 40; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        std::mt19937 rng(run);
        Fixture f;
        std::vector<std::shared_ptr<SampleRecord>> samples;
        const std::string start = saved(*f.session);
        // Gestures with a few undos and redos between them; a new gesture after an undo drops the redo.
        for (int step = 0; step < 120; ++step) {
            const unsigned r = rng() % 10;
            if (r == 0) {
                f.session->undo();
            } else if (r == 1) {
                f.session->redo();
            } else {
                f.session->apply(randomGesture(rng, *f.state, f.session->controllers(), samples));
            }
            expectConsistent(*f.state);
            if (::testing::Test::HasFailure()) return;
        }
        while (f.session->redo()) expectConsistent(*f.state);
        const std::string end = saved(*f.session);
        int steps = 0;
        while (f.session->undo()) {
            ++steps;
            expectConsistent(*f.state);
        }
        EXPECT_EQ(saved(*f.session), start);
        EXPECT_FALSE(f.session->modified());
        while (f.session->redo()) --steps;
        EXPECT_EQ(steps, 0);
        EXPECT_EQ(saved(*f.session), end);
    }
}

TEST(EditHistory, AGestureIsOneStepAndSaysWhatItWas) {
    Fixture f;
    PatchSession& s = *f.session;
    // A knob held from press to release: its ticks are one step.
    const StepGrouping hold{"knob held 1", 0};
    for (int k = 0; k < 5; ++k) s.apply(Edit::frequencyKnob(2, 1.0f), hold);
    s.endGesture();
    EXPECT_EQ(s.history().size(), 1u);
    EXPECT_EQ(s.undoLabel(), "oscillator 3 frequency");
    // Wheel notches close together are one step; a pause makes a new one.
    const StepGrouping wheel{"knob wheel", 500};
    s.apply(Edit::levelKnob(1, 1.0f), wheel);
    f.now += 300;
    s.apply(Edit::levelKnob(1, 1.0f), wheel);
    f.now += 501;
    s.apply(Edit::levelKnob(1, 1.0f), wheel);
    EXPECT_EQ(s.history().size(), 3u);
    EXPECT_EQ(s.undoLabel(), "mixer channel 2 level");
    // A cord taken out and plugged elsewhere is one step, named by where it went.
    const StepGrouping held{"held cord 1", 0};
    s.apply(Edit::unplugAtInput(6), held);  // 418 -> 307
    s.apply(Edit::plug(17, 0), held);
    s.endGesture();
    EXPECT_EQ(s.history().size(), 4u);
    EXPECT_EQ(s.undoLabel(), "cord 418 \u2192 301");
    // Plugged back where it was, it is no step at all.
    const StepGrouping back{"held cord 2", 0};
    s.apply(Edit::unplugAtInput(0), back);
    s.apply(Edit::plug(17, 0), back);
    s.endGesture();
    EXPECT_EQ(s.history().size(), 4u);
    // Sync changes no setting and is never undone.
    s.apply(Edit::sync());
    EXPECT_EQ(s.history().size(), 4u);

    ASSERT_TRUE(s.undo());
    EXPECT_TRUE(hasCord(*f.state, 6));
    EXPECT_FALSE(hasCord(*f.state, 0));
    EXPECT_EQ(s.redoLabel(), "cord 418 \u2192 301");
    EXPECT_EQ(s.undoLabel(), "mixer channel 2 level");
    // A controller learnt is a step; its sweep, however long, one more; undone, the level comes back.
    s.apply(Edit::controllers(learnController(s.controllers(), {7, 0, Control::Level, 1}), 7));
    const std::size_t learnt = s.history().size();
    EXPECT_EQ(s.undoLabel(), "MIDI controller 7 \u2192 mixer channel 2 level");
    const int level = f.state->mixLevel[1];
    ControllerMap map(s.controllers());
    for (int v = 0; v < 2000; ++v) {
        Edit move;
        ASSERT_NE(map.translate(packMidi(0xB0, 7, (v * 7) % 128), move), nullptr);
        s.apply(move, {"MIDI controller 7", 500});
        f.now += 1;
    }
    EXPECT_EQ(s.history().size(), learnt + 1);
    ASSERT_TRUE(s.undo());
    EXPECT_EQ(f.state->mixLevel[1], level);
    ASSERT_TRUE(s.undo());
    EXPECT_TRUE(s.controllers().empty());
}

TEST(EditHistory, KnowsWhetherThePatchDiffersFromTheOneSaved) {
    Fixture f;
    PatchSession& s = *f.session;
    EXPECT_FALSE(s.modified());
    s.apply(Edit::level(0, 10));
    EXPECT_TRUE(s.modified());
    s.markSaved();
    EXPECT_FALSE(s.modified());
    s.apply(Edit::level(0, 20));
    EXPECT_TRUE(s.modified());
    s.undo();
    EXPECT_FALSE(s.modified());  // back at the saved point
    s.undo();
    EXPECT_TRUE(s.modified());
    s.redo();
    s.apply(Edit::pan(0, 10));  // the saved point stays reachable behind
    s.undo();
    EXPECT_FALSE(s.modified());
    s.undo();
    s.apply(Edit::pan(0, 20));  // the saved point was in what could be redone: gone
    while (s.undo()) EXPECT_TRUE(s.modified());
    s.clearHistory();
    EXPECT_FALSE(s.history().canUndo());
    EXPECT_TRUE(s.modified());
}

TEST(EditHistory, StaysWithinItsBounds) {
    EngineState state;
    setEngineDefaults(state);
    EditHistory::Limits limits;
    limits.maxSteps = 10;
    limits.maxSampleBytes = 2500;
    PatchSession s(
        state, [] { return std::uint64_t{0}; }, limits);
    for (int k = 0; k < 30; ++k) s.apply(Edit::level(k % 8, k));
    EXPECT_EQ(s.history().size(), 10u);
    for (int k = 0; k < 8; ++k) {
        auto sample = std::make_shared<SampleRecord>();
        sample->data.assign(1000, 1);
        s.apply(Edit::loadSample(sample, "/s.wav"));
        EXPECT_LE(s.history().heldSampleBytes(), limits.maxSampleBytes);
    }
    // The two samples replaced last can still come back.
    ASSERT_TRUE(s.undo());
    ASSERT_TRUE(s.undo());
    EXPECT_NE(state.waveSample, nullptr);
}

}  // namespace
}  // namespace voltina
