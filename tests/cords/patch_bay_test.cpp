// The cord editor's state machine, driven through a fake panel: every row of the input and output tables
// from each editing state, with the routing arrays, lamps, messages, cursor and band checked after each
// click, and the cases that catch real faults.

#include "panel/patch_bay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "engine/defaults.h"
#include "engine/sample_record.h"
#include "tests/cords/fake_patch_view.h"

namespace voltina::test {
namespace {

using Log = std::vector<std::string>;

class PatchBayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clearCords(state);
        view.bay = &bay;
    }
    // A cord as the panel's refresh shows it: arrays and both lamps.
    void cord(int out, int in) {
        plugCord(state, out, in);
        view.lamps[401 + out] = 1;
        view.lamps[301 + in] = 1;
    }
    void click(int id) {
        view.log.clear();
        view.messages.clear();
        bay.onJackClick(id);
    }
    void expectCord(int out, int in) {
        EXPECT_EQ(state.cordPresent[in], 1) << "input " << in;
        EXPECT_EQ(state.cordSource[in], out) << "input " << in;
        EXPECT_EQ(state.outputUsed[out], 1) << "output " << out;
    }
    int cordCount() const {
        int n = 0;
        for (int i = 0; i < kJacks; ++i) n += hasCord(state, i);
        return n;
    }
    PanelPoint jp(int id) const { return bay.jackPoint(id); }

    EngineState state;
    PatchSession session{state};
    FakePatchView view;
    PatchBay bay{session, view};
};

TEST_F(PatchBayTest, JackPointsSitOnTheJacksTopEdgeFourteenPixelsIn) {
    EXPECT_EQ(jp(301), (PanelPoint{555 + 14, 26}));  // mixer input 0 at (317, 16) units
    EXPECT_EQ(jp(401), (PanelPoint{89 + 14, 20}));   // oscillator 0's first output at (51, 12) units
    EXPECT_EQ(jp(418), (PanelPoint{466 + 14, 271}));
}

TEST_F(PatchBayTest, StartsWithNothingHeld) {
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(bay.pickedInput(), 0);
    EXPECT_EQ(bay.pickedOutput(), 0);
    EXPECT_FALSE(bay.cordsErased());
    EXPECT_FALSE(bay.bandShown());
}

// ---------------------------------------------------------------- input jacks

// Clicks from each editing state: the cords before, the jacks clicked in turn, and after the last click
// the state held, the cords (exactly these), the lamps, the messages, the cursor and what the last click
// asked of the panel in order.
TEST_F(PatchBayTest, ClicksFromEachState) {
    using Cords = std::vector<std::pair<int, int>>;  // (output index, input index)
    const std::string inputIntoInput = "message " + std::string(kInputIntoInputMessage);
    const std::string outputIntoOutput = "message " + std::string(kOutputIntoOutputMessage);
    const std::string autoPan = "message " + std::string(kAutoPanMessage);
    struct Case {
        const char* what;
        Cords before;
        std::vector<int> clicks;
        HeldCord held;
        int picked;  // the held end's index
        Cords after;
        std::map<int, int> lamps;
        Log messages;
        bool plugCursor;
        std::optional<Log> log;  // of the last click
        Log details;             // a refusal's sentence, when the case checks it
    };
    const auto row = [](const char* what, Cords before, std::vector<int> clicks, HeldCord held, int picked,
                        Cords after, std::map<int, int> lamps, Log messages, bool plugCursor,
                        std::optional<Log> log = std::nullopt, Log details = {}) {
        return Case{what, before, clicks, held, picked, after, lamps, messages, plugCursor, log, details};
    };
    const Cords defaults = {{17, 6}, {0, 20}, {1, 21}, {14, 26}, {2, 27}};
    const Case cases[] = {
        // Input jacks.
        row("a dark input with nothing held picks the input", {}, {309}, HeldCord::FixedAtInput, 8, {},
            {{309, 1}}, {}, true, Log{"toggle 309 -> 1", "cursor plug"}),
        // The lamp goes dark again before the message shows.
        row("a dark input while an input is held is refused after undoing the toggle", {}, {309, 312},
            HeldCord::FixedAtInput, 8, {}, {{312, 0}, {309, 1}}, {kInputIntoInputMessage}, true,
            Log{"toggle 312 -> 1", "toggle 312 -> 0", inputIntoInput, "cursor plug"}),
        row("a dark input while an output is held makes the cord", {}, {411, 316}, HeldCord::None, 0,
            {{10, 15}}, {{411, 1}, {316, 1}}, {}, false,
            Log{"toggle 316 -> 1", "erase", "draw", "cursor arrow"}),
        row("a dark input refused by the rule shows the message before undoing", {}, {419, 310},
            HeldCord::FixedAtOutput, 18, {}, {{310, 0}, {419, 1}}, {kAutoPanMessage}, true,
            Log{"toggle 310 -> 1", autoPan, "toggle 310 -> 0", "cursor plug"},
            {"Auto-pan 2, output (mixer inputs only) (419) cannot go into Accumulator 1, input 2 (310)"}),
        row("clicking the held input again drops it", {}, {305, 305}, HeldCord::None, 0, {}, {{305, 0}}, {},
            false, Log{"toggle 305 -> 0", "cursor arrow"}),
        row("an empty input clicked twice leaves nothing", {}, {311, 311}, HeldCord::None, 0, {}, {{311, 0}},
            {}, false),
        row("another lit input while an input is held keeps its cord", {{3, 0}}, {305, 301},
            HeldCord::FixedAtInput, 4, {{3, 0}}, {{301, 1}}, {kInputIntoInputMessage}, true,
            Log{"toggle 301 -> 0", "toggle 301 -> 1", inputIntoInput, "cursor plug"}),
        row("a lit input while an output is held keeps its cord", {{3, 0}}, {412, 301},
            HeldCord::FixedAtOutput, 11, {{3, 0}}, {{301, 1}},
            {"Input jack 301 already carries a cord (from 404)"}, true),
        // Output jacks.
        row("a dark output with nothing held picks the output", {}, {409}, HeldCord::FixedAtOutput, 8, {},
            {{409, 1}}, {}, true, Log{"toggle 409 -> 1", "cursor plug"}),
        row("a dark output while an output is held is refused after undoing the toggle", {}, {409, 410},
            HeldCord::FixedAtOutput, 8, {}, {{410, 0}, {409, 1}}, {kOutputIntoOutputMessage}, true,
            Log{"toggle 410 -> 1", "toggle 410 -> 0", outputIntoOutput, "cursor plug"}),
        row("a dark output while an input is held makes the cord", {}, {322, 404}, HeldCord::None, 0,
            {{3, 21}}, {{404, 1}, {322, 1}}, {}, false,
            Log{"toggle 404 -> 1", "erase", "draw", "cursor arrow"}),
        row("a dark output refused by the rule shows the message before undoing", {}, {329, 420},
            HeldCord::FixedAtInput, 28, {}, {{420, 0}, {329, 1}}, {kAutoPanMessage}, true,
            Log{"toggle 420 -> 1", autoPan, "toggle 420 -> 0", "cursor plug"}),
        row("clicking the held output again drops it", {}, {430, 430}, HeldCord::None, 0, {}, {{430, 0}}, {},
            false, Log{"toggle 430 -> 0", "cursor arrow"}),
        row("another lit output while an output is held keeps its cord", {{5, 1}}, {409, 406},
            HeldCord::FixedAtOutput, 8, {{5, 1}}, {{406, 1}}, {kOutputIntoOutputMessage}, true,
            Log{"toggle 406 -> 0", "toggle 406 -> 1", outputIntoOutput, "cursor plug"}),
        row("a lit output while an input is held keeps its cord", {{5, 1}}, {303, 406},
            HeldCord::FixedAtInput, 2, {{5, 1}}, {{406, 1}},
            {"Output jack 406 already carries a cord (into 302)"}, true),
        // A cord taken out at one end and put down again.
        row("a cord dropped back on its own input", {{4, 5}}, {306, 306}, HeldCord::None, 0, {{4, 5}},
            {{306, 1}, {405, 1}}, {}, false),
        row("a cord taken out at the input and dropped on its output is gone", {{4, 5}}, {306, 405},
            HeldCord::None, 0, {}, {{405, 0}, {306, 0}}, {}, false),
        row("a cord taken out at the output and dropped on its input is gone", {{4, 5}}, {405, 306},
            HeldCord::None, 0, {}, {{405, 0}, {306, 0}}, {}, false),
        row("a cord moved by its input end", defaults, {307, 301}, HeldCord::None, 0,
            {{17, 0}, {0, 20}, {1, 21}, {14, 26}, {2, 27}}, {{307, 0}, {301, 1}, {418, 1}}, {}, false),
        row("other controls are not jacks", {}, {189, 300, 333, 400, 433}, HeldCord::None, 0, {}, {}, {},
            false, Log{})};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearCords(state);
        view.lamps.clear();
        view.details.clear();
        view.plugCursor = false;
        bay.dropHeldCord();
        for (const auto& [out, in] : c.before) cord(out, in);
        for (int id : c.clicks) click(id);
        EXPECT_EQ(bay.heldCord(), c.held);
        if (c.held == HeldCord::FixedAtInput) {
            EXPECT_EQ(bay.pickedInput(), c.picked);
        } else if (c.held == HeldCord::FixedAtOutput) {
            EXPECT_EQ(bay.pickedOutput(), c.picked);
        }
        for (const auto& [out, in] : c.after) expectCord(out, in);
        EXPECT_EQ(cordCount(), static_cast<int>(c.after.size()));
        for (int o = 0; o < kJacks; ++o) {
            const bool used =
                std::any_of(c.after.begin(), c.after.end(), [o](const auto& k) { return k.first == o; });
            EXPECT_EQ(state.outputUsed[o], used ? 1 : 0) << "output " << o;
        }
        for (const auto& [jack, lit] : c.lamps) EXPECT_EQ(view.lamp(jack), lit) << "lamp " << jack;
        EXPECT_EQ(view.messages, c.messages);
        if (!c.details.empty()) {
            EXPECT_EQ(view.details, c.details);
        }
        EXPECT_EQ(view.plugCursor, c.plugCursor);
        if (c.log) {
            EXPECT_EQ(view.log, *c.log);
        }
        EXPECT_FALSE(bay.cordsErased());
    }
}

TEST_F(PatchBayTest, LitInputWithNothingHeldTakesTheCordOutAtTheInput) {
    cord(0, 20);  // 401 -> 321, a sideways output
    state.outValue[0] = 55.0f;
    click(321);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(bay.pickedOutput(), 0);
    EXPECT_EQ(state.cordPresent[20], 0);
    EXPECT_EQ(state.cordSource[20], kNoCord);  // normalised by the redraw
    EXPECT_EQ(state.outputUsed[0], 0);
    EXPECT_EQ(state.outValue[0], 55.0f);  // only the output end clears the value
    EXPECT_EQ(view.lamp(321), 0);
    EXPECT_EQ(view.lamp(401), 1);  // the output keeps its plug
    EXPECT_EQ(bay.bandAnchor(), (PanelPoint{jp(401).x + 14, jp(401).y + 14}));
    EXPECT_EQ(bay.bandEnd().y, jp(321).y);
    EXPECT_FALSE(bay.bandShown());  // the redraw forgot the band; the next mouse move shows it
    EXPECT_TRUE(view.plugCursor);
    EXPECT_EQ(view.log, (Log{"toggle 321 -> 0", "erase", "draw", "cursor plug"}));
}

TEST_F(PatchBayTest, LitInputWithoutARealCordOnlyGoesDark) {
    view.lamps[303] = 1;
    state.cordPresent[2] = 1;
    state.cordSource[2] = 40;
    click(303);
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(view.lamp(303), 0);
    EXPECT_EQ(state.cordPresent[2], 0);
    EXPECT_EQ(state.cordSource[2], kNoCord);
    EXPECT_FALSE(view.plugCursor);
}

// ---------------------------------------------------------------- output jacks

TEST_F(PatchBayTest, DarkSidewaysOutputAnchorsTheBandOnItsPlug) {
    click(423);  // oscillator 2's second output
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(bay.pickedOutput(), 22);
    EXPECT_EQ(bay.bandAnchor(), (PanelPoint{jp(423).x + 14, jp(423).y + 14}));
    EXPECT_EQ(bay.bandEnd(), jp(423));
}

TEST_F(PatchBayTest, LitOutputWithNothingHeldTakesTheCordOutAtTheOutput) {
    cord(12, 4);  // multiplier 1 -> mixer 4
    state.outValue[12] = -42.0f;
    click(413);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtInput);
    EXPECT_EQ(bay.pickedInput(), 4);
    EXPECT_EQ(state.outputUsed[12], 0);
    EXPECT_EQ(state.outValue[12], 0.0f);
    EXPECT_EQ(state.cordPresent[4], 0);
    EXPECT_EQ(state.cordSource[4], kNoCord);
    EXPECT_EQ(view.lamp(413), 0);
    EXPECT_EQ(view.lamp(305), 1);  // the input keeps its plug
    EXPECT_EQ(bay.bandAnchor(), jp(305));
    EXPECT_EQ(bay.bandEnd().y, jp(413).y);
    EXPECT_FALSE(bay.bandShown());
    EXPECT_TRUE(view.plugCursor);
    EXPECT_EQ(view.log, (Log{"toggle 413 -> 0", "erase", "draw", "cursor plug"}));
}

TEST_F(PatchBayTest, TakingOutAtASidewaysOutputDoesNotShiftTheBand) {
    cord(20, 3);
    click(421);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtInput);
    EXPECT_EQ(bay.bandAnchor(), jp(304));
    EXPECT_EQ(bay.bandEnd().y, jp(421).y);
}

TEST_F(PatchBayTest, TakingOutAtAnOutputTakesTheLowestInputThatListsIt) {
    // Only a damaged patch has two inputs on one output; the lower one is taken, the other stays.
    cord(9, 14);
    cord(9, 3);
    click(410);
    EXPECT_EQ(bay.pickedInput(), 3);
    EXPECT_EQ(state.cordPresent[3], 0);
    EXPECT_EQ(state.cordPresent[14], 1);
}

TEST_F(PatchBayTest, LitOutputFeedingNoInputGoesDarkAndFree) {
    view.lamps[407] = 1;
    state.outputUsed[6] = 1;
    state.outValue[6] = 9.0f;
    click(407);
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(view.lamp(407), 0);
    EXPECT_EQ(state.outputUsed[6], 0);
    EXPECT_EQ(state.outValue[6], 0.0f);
    for (int i = 0; i < kJacks; ++i) EXPECT_EQ(state.cordPresent[i], 0) << i;
    EXPECT_FALSE(view.plugCursor);
}

// ---------------------------------------------------------------- the Wave output

TEST_F(PatchBayTest, WaveOutputWithoutASampleOffersTheListBeforeTheEndIsTaken) {
    HeldCord stateDuringList = HeldCord::FixedAtInput;
    view.onSelectSample = [&] { stateDuringList = bay.heldCord(); };
    click(432);
    EXPECT_EQ(stateDuringList, HeldCord::None);
    EXPECT_EQ(view.log, (Log{"toggle 432 -> 1", "selectSample", "pump", "cursor plug"}));
    // Cancelled: the end is held anyway.
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(bay.pickedOutput(), 31);
    EXPECT_EQ(bay.bandAnchor(), jp(432));
    click(302);
    expectCord(31, 1);
}

TEST_F(PatchBayTest, WaveOutputWithASampleAsksNothing) {
    state.waveSample = std::make_unique<SampleRecord>();
    click(432);
    EXPECT_EQ(view.log, (Log{"toggle 432 -> 1", "cursor plug"}));
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
}

TEST_F(PatchBayTest, WaveOutputPluggedIntoAHeldInputOffersTheListWithTheCordsOff) {
    bool erasedDuringList = false;
    view.onSelectSample = [&] { erasedDuringList = bay.cordsErased(); };
    click(308);
    click(432);
    EXPECT_TRUE(erasedDuringList);
    EXPECT_EQ(view.log, (Log{"toggle 432 -> 1", "erase", "selectSample", "pump", "draw", "cursor arrow"}));
    expectCord(31, 7);  // made whether or not a sample was chosen
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
}

TEST_F(PatchBayTest, NestedClickDuringTheSampleListDoesNotRedirectTheCord) {
    click(308);
    view.onSelectSample = [&] {
        view.onSelectSample = nullptr;
        bay.onJackClick(310);  // a click that the list's event loop let through
    };
    click(432);
    expectCord(31, 7);
    EXPECT_EQ(state.cordPresent[9], 0);
}

// ---------------------------------------------------------------- edge cases

TEST_F(PatchBayTest, AutoPanOutputsGoOnlyIntoTheMixerInEitherOrder) {
    for (int in = 0; in < kJacks; ++in) {
        SCOPED_TRACE(in);
        // Output first.
        clearCords(state);
        view.lamps.clear();
        click(418);
        click(301 + in);
        if (in < 8) {
            expectCord(17, in);
            EXPECT_TRUE(view.messages.empty());
            EXPECT_EQ(bay.heldCord(), HeldCord::None);
        } else {
            EXPECT_EQ(view.messages, (Log{kAutoPanMessage}));
            EXPECT_EQ(view.lamp(301 + in), 0);
            EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
            click(418);  // drop it
        }
        // Input first.
        clearCords(state);
        view.lamps.clear();
        click(301 + in);
        click(420);
        if (in < 8) {
            expectCord(19, in);
            EXPECT_EQ(bay.heldCord(), HeldCord::None);
        } else {
            EXPECT_EQ(view.messages, (Log{kAutoPanMessage}));
            EXPECT_EQ(view.lamp(420), 0);
            EXPECT_EQ(view.lamp(301 + in), 1);
            EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtInput);
            click(301 + in);
        }
        EXPECT_EQ(bay.heldCord(), HeldCord::None);
    }
}

TEST_F(PatchBayTest, OtherOutputsGoAnywhere) {
    for (int o : {0, 8, 11, 14, 16, 20, 28, 31}) {
        EXPECT_EQ(plugRule(state, o, 31), PlugRule::Allowed) << o;
        EXPECT_EQ(plugRule(state, o, 8), PlugRule::Allowed) << o;
    }
    EXPECT_EQ(plugRule(state, 17, 7), PlugRule::Allowed);
    EXPECT_EQ(plugRule(state, 19, 8), PlugRule::AutoPanOutsideMixer);
}

TEST_F(PatchBayTest, AMovedAutoPanCordStillObeysTheRule) {
    cord(17, 6);
    click(307);
    click(309);
    EXPECT_EQ(view.messages, (Log{kAutoPanMessage}));
    EXPECT_EQ(view.lamp(309), 0);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    click(302);
    expectCord(17, 1);
    // Taken out at the output end, the held mixer input takes another output.
    click(418);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtInput);
    EXPECT_EQ(bay.pickedInput(), 1);
    click(401);
    expectCord(0, 1);
}

TEST_F(PatchBayTest, CordDroppedBackOnItsOwnOutput) {
    cord(4, 5);
    state.outValue[4] = 12.0f;
    click(405);
    EXPECT_EQ(state.outValue[4], 0.0f);
    click(405);
    expectCord(4, 5);
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(view.lamp(306), 1);
    EXPECT_EQ(view.lamp(405), 1);
}

// ---------------------------------------------------------------- drawing passes and the band

TEST_F(PatchBayTest, EveryDrawingPassNormalisesInputsWithoutACord) {
    state.cordPresent[3] = 0;
    state.cordSource[3] = 7;
    state.cordPresent[4] = 1;
    state.cordSource[4] = 32;
    state.cordPresent[5] = 1;
    state.cordSource[5] = -1;
    plugCord(state, 7, 6);
    for (int erase : {1, 0}) {
        state.cordSource[3] = 7;
        if (erase == 1) {
            bay.tidyRoutingAndHideCords();
        } else {
            bay.tidyRoutingAndShowCords();
        }
        EXPECT_EQ(bay.cordsErased(), erase == 1);
        for (int i : {3, 4, 5}) {
            EXPECT_EQ(state.cordPresent[i], 0) << i;
            EXPECT_EQ(state.cordSource[i], kNoCord) << i;
        }
        expectCord(7, 6);
    }
}

TEST_F(PatchBayTest, CordsAlternateGreenAndRedInInputOrder) {
    setDefaultPatch(state);  // inputs 6, 20, 21, 26, 27
    const std::vector<CordPath> paths = bay.cordPaths();
    ASSERT_EQ(paths.size(), 5u);
    const int inputs[] = {6, 20, 21, 26, 27};
    const int outputs[] = {17, 0, 1, 14, 2};
    for (std::size_t k = 0; k < paths.size(); ++k) {
        EXPECT_EQ(paths[k].input, inputs[k]);
        EXPECT_EQ(paths[k].output, outputs[k]);
        EXPECT_EQ(paths[k].colour, k % 2 == 0 ? CordColour::Green : CordColour::Red) << k;
        EXPECT_EQ(paths[k].polyline.back(), jp(301 + inputs[k]));
    }
}

TEST_F(PatchBayTest, BandFollowsAndRepaintsWhereItWasAndWhereItIs) {
    click(301);
    const PanelPoint a = jp(301);
    bay.moveBand(500, 100, 0);
    EXPECT_TRUE(bay.bandShown());
    EXPECT_EQ(bay.bandEnd(), (PanelPoint{500, 100}));
    EXPECT_EQ(view.lastBandArea.left, 500);
    EXPECT_EQ(view.lastBandArea.right, a.x);
    EXPECT_EQ(view.lastBandArea.top, a.y);
    EXPECT_EQ(view.lastBandArea.bottom, 100);
    bay.moveBand(600, 10, 0);
    EXPECT_EQ(view.lastBandArea.left, 500);
    EXPECT_EQ(view.lastBandArea.right, 600);
    EXPECT_EQ(view.lastBandArea.top, 10);
    EXPECT_EQ(view.lastBandArea.bottom, 100);
    bay.moveBand(0, 0, 1);
    EXPECT_FALSE(bay.bandShown());
    EXPECT_EQ(bay.bandEnd().x, kNoBand);
    EXPECT_EQ(view.lastBandArea.left, a.x);
    EXPECT_EQ(view.lastBandArea.right, 600);
    // A jack click takes the band off, even a click that changes nothing else.
    bay.moveBand(400, 300, 0);
    const int changes = view.bandChanges;
    click(409);
    EXPECT_EQ(view.bandChanges, changes + 1);
    EXPECT_EQ(view.lastBandArea.left, 400);
    EXPECT_EQ(view.lastBandArea.bottom, 300);
    EXPECT_FALSE(bay.bandShown());
}

}  // namespace
}  // namespace voltina::test

namespace voltina {
namespace {

// A new patch loaded while a cord end is held: the end is let go, so the next click starts afresh
// instead of plugging the old pick into the new patch.
TEST(PatchBayLoad, DroppingTheHeldEndLetsTheNextClickStartAfresh) {
    EngineState state;
    clearCords(state);
    PatchSession session{state};
    test::FakePatchView view;
    PatchBay bay{session, view};
    view.bay = &bay;
    bay.onJackClick(309);
    bay.moveBand(300, 200, 0);
    ASSERT_EQ(bay.heldCord(), HeldCord::FixedAtInput);
    ASSERT_TRUE(bay.bandShown());

    bay.dropHeldCord();
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_FALSE(bay.bandShown());
    EXPECT_FALSE(view.plugCursor);

    bay.onJackClick(405);  // a dark output now picks the output; no cord into input 309
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(bay.pickedOutput(), 4);
    EXPECT_EQ(state.cordPresent[8], 0);
}

}  // namespace
}  // namespace voltina
