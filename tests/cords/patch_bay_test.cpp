// The cord editor's state machine, driven through a fake panel: every row of the input and output tables
// from each editing state, with the routing arrays, lamps, messages, cursor and band checked after each
// click, and the cases that catch real faults.

#include "panel/patch_bay.h"

#include <gtest/gtest.h>

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

TEST_F(PatchBayTest, DarkInputWithNothingHeldPicksTheInput) {
    click(309);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtInput);
    EXPECT_EQ(bay.pickedInput(), 8);
    EXPECT_EQ(bay.bandAnchor(), jp(309));
    EXPECT_EQ(bay.bandEnd(), jp(309));
    EXPECT_EQ(view.lamp(309), 1);
    EXPECT_TRUE(view.plugCursor);
    EXPECT_EQ(cordCount(), 0);
    EXPECT_EQ(state.cordPresent[8], 0);
    EXPECT_EQ(view.log, (Log{"toggle 309 -> 1", "cursor plug"}));
}

TEST_F(PatchBayTest, DarkInputWhileAnInputIsHeldIsRefusedAfterUndoingTheToggle) {
    click(309);
    click(312);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtInput);
    EXPECT_EQ(bay.pickedInput(), 8);
    EXPECT_EQ(view.lamp(312), 0);
    EXPECT_EQ(view.lamp(309), 1);
    EXPECT_TRUE(view.plugCursor);
    // The lamp goes dark again before the message shows.
    EXPECT_EQ(view.log, (Log{"toggle 312 -> 1", "toggle 312 -> 0",
                             "message " + std::string(kInputIntoInputMessage), "cursor plug"}));
}

TEST_F(PatchBayTest, DarkInputWhileAnOutputIsHeldMakesTheCord) {
    click(411);  // accumulator 2's output
    click(316);
    expectCord(10, 15);
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(view.lamp(411), 1);
    EXPECT_EQ(view.lamp(316), 1);
    EXPECT_FALSE(view.plugCursor);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.log, (Log{"toggle 316 -> 1", "erase", "draw", "cursor arrow"}));
    EXPECT_FALSE(bay.cordsErased());
}

TEST_F(PatchBayTest, DarkInputRefusedByTheRuleShowsTheMessageBeforeUndoing) {
    click(419);  // panoramiker 1
    click(310);  // accumulator 0, not a mixer input
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(bay.pickedOutput(), 18);
    EXPECT_EQ(view.lamp(310), 0);
    EXPECT_EQ(view.lamp(419), 1);
    EXPECT_EQ(cordCount(), 0);
    EXPECT_EQ(state.outputUsed[18], 0);
    EXPECT_EQ(view.log, (Log{"toggle 310 -> 1", "message " + std::string(kAutoPanMessage), "toggle 310 -> 0",
                             "cursor plug"}));
    EXPECT_EQ(
        view.details,
        (Log{"Auto-pan 2, output (mixer inputs only) (419) cannot go into Accumulator 1, input 2 (310)"}));
}

TEST_F(PatchBayTest, ClickingTheHeldInputAgainDropsIt) {
    click(305);
    click(305);
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(view.lamp(305), 0);
    EXPECT_EQ(cordCount(), 0);
    EXPECT_EQ(state.cordPresent[4], 0);
    EXPECT_FALSE(view.plugCursor);
    EXPECT_EQ(view.log, (Log{"toggle 305 -> 0", "cursor arrow"}));
}

TEST_F(PatchBayTest, AnotherLitInputWhileAnInputIsHeldKeepsItsCord) {
    cord(3, 0);
    click(305);
    click(301);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtInput);
    EXPECT_EQ(bay.pickedInput(), 4);
    EXPECT_EQ(view.lamp(301), 1);
    expectCord(3, 0);
    EXPECT_EQ(view.log, (Log{"toggle 301 -> 0", "toggle 301 -> 1",
                             "message " + std::string(kInputIntoInputMessage), "cursor plug"}));
}

TEST_F(PatchBayTest, LitInputWhileAnOutputIsHeldKeepsItsCord) {
    cord(3, 0);
    click(412);
    click(301);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(bay.pickedOutput(), 11);
    EXPECT_EQ(view.lamp(301), 1);
    expectCord(3, 0);
    EXPECT_EQ(state.outputUsed[11], 0);
    EXPECT_EQ(view.messages, (Log{"Input jack 301 already carries a cord (from 404)"}));
    EXPECT_EQ(view.details, (Log{"Mixer channel 1, input (301) is fed by Oscillator 4, output 1 (404)"}));
    EXPECT_TRUE(view.plugCursor);
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

TEST_F(PatchBayTest, DarkOutputWithNothingHeldPicksTheOutput) {
    click(409);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(bay.pickedOutput(), 8);
    EXPECT_EQ(bay.bandAnchor(), jp(409));
    EXPECT_EQ(bay.bandEnd(), jp(409));
    EXPECT_EQ(view.lamp(409), 1);
    EXPECT_TRUE(view.plugCursor);
    EXPECT_EQ(view.log, (Log{"toggle 409 -> 1", "cursor plug"}));
}

TEST_F(PatchBayTest, DarkSidewaysOutputAnchorsTheBandOnItsPlug) {
    click(423);  // oscillator 2's second output
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(bay.pickedOutput(), 22);
    EXPECT_EQ(bay.bandAnchor(), (PanelPoint{jp(423).x + 14, jp(423).y + 14}));
    EXPECT_EQ(bay.bandEnd(), jp(423));
}

TEST_F(PatchBayTest, DarkOutputWhileAnOutputIsHeldIsRefusedAfterUndoingTheToggle) {
    click(409);
    click(410);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(bay.pickedOutput(), 8);
    EXPECT_EQ(view.lamp(410), 0);
    EXPECT_EQ(view.lamp(409), 1);
    EXPECT_EQ(view.log, (Log{"toggle 410 -> 1", "toggle 410 -> 0",
                             "message " + std::string(kOutputIntoOutputMessage), "cursor plug"}));
}

TEST_F(PatchBayTest, DarkOutputWhileAnInputIsHeldMakesTheCord) {
    click(322);
    click(404);
    expectCord(3, 21);
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(view.lamp(404), 1);
    EXPECT_EQ(view.lamp(322), 1);
    EXPECT_FALSE(view.plugCursor);
    EXPECT_EQ(view.log, (Log{"toggle 404 -> 1", "erase", "draw", "cursor arrow"}));
}

TEST_F(PatchBayTest, DarkOutputRefusedByTheRuleShowsTheMessageBeforeUndoing) {
    click(329);  // panoramiker 1's signal input
    click(420);  // panoramiker 2's output
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtInput);
    EXPECT_EQ(bay.pickedInput(), 28);
    EXPECT_EQ(view.lamp(420), 0);
    EXPECT_EQ(view.lamp(329), 1);
    EXPECT_EQ(cordCount(), 0);
    EXPECT_EQ(view.log, (Log{"toggle 420 -> 1", "message " + std::string(kAutoPanMessage), "toggle 420 -> 0",
                             "cursor plug"}));
}

TEST_F(PatchBayTest, ClickingTheHeldOutputAgainDropsIt) {
    click(430);
    click(430);
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(view.lamp(430), 0);
    EXPECT_EQ(state.outputUsed[29], 0);
    EXPECT_FALSE(view.plugCursor);
    EXPECT_EQ(view.log, (Log{"toggle 430 -> 0", "cursor arrow"}));
}

TEST_F(PatchBayTest, AnotherLitOutputWhileAnOutputIsHeldKeepsItsCord) {
    cord(5, 1);
    click(409);
    click(406);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(bay.pickedOutput(), 8);
    EXPECT_EQ(view.lamp(406), 1);
    expectCord(5, 1);
    EXPECT_EQ(view.log, (Log{"toggle 406 -> 0", "toggle 406 -> 1",
                             "message " + std::string(kOutputIntoOutputMessage), "cursor plug"}));
}

TEST_F(PatchBayTest, LitOutputWhileAnInputIsHeldKeepsItsCord) {
    cord(5, 1);
    click(303);
    click(406);
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtInput);
    EXPECT_EQ(bay.pickedInput(), 2);
    EXPECT_EQ(view.lamp(406), 1);
    expectCord(5, 1);
    EXPECT_EQ(state.cordPresent[2], 0);
    EXPECT_EQ(view.messages, (Log{"Output jack 406 already carries a cord (into 302)"}));
    EXPECT_EQ(view.details, (Log{"Oscillator 6, output 1 (406) feeds Mixer channel 2, input (302)"}));
    EXPECT_TRUE(view.plugCursor);
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

TEST_F(PatchBayTest, ClickingAnEmptyInputTwiceLeavesNothing) {
    click(311);
    click(311);
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(view.lamp(311), 0);
    EXPECT_EQ(cordCount(), 0);
    EXPECT_EQ(state.cordSource[10], kNoCord);
}

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

TEST_F(PatchBayTest, MovingACordByItsInputEnd) {
    setDefaultPatch(state);
    view.lamps = {{307, 1}, {418, 1}};
    click(307);
    EXPECT_EQ(state.outputUsed[17], 0);  // free while the end is held
    EXPECT_EQ(bay.heldCord(), HeldCord::FixedAtOutput);
    click(301);
    expectCord(17, 0);
    EXPECT_EQ(state.cordPresent[6], 0);
    EXPECT_EQ(state.cordSource[6], kNoCord);
    EXPECT_EQ(view.lamp(307), 0);
    EXPECT_EQ(view.lamp(301), 1);
    EXPECT_EQ(view.lamp(418), 1);
    EXPECT_EQ(cordCount(), 5);
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

TEST_F(PatchBayTest, CordDroppedBackOnItsOwnInput) {
    cord(4, 5);
    click(306);
    click(306);
    expectCord(4, 5);
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(view.lamp(306), 1);
    EXPECT_EQ(view.lamp(405), 1);
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

TEST_F(PatchBayTest, CordTakenOutAtTheInputAndDroppedOnItsOutputIsGone) {
    cord(4, 5);
    click(306);
    click(405);  // the held end's own output, still lit
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(cordCount(), 0);
    EXPECT_EQ(state.outputUsed[4], 0);
    EXPECT_EQ(view.lamp(405), 0);
    EXPECT_EQ(view.lamp(306), 0);
}

TEST_F(PatchBayTest, CordTakenOutAtTheOutputAndDroppedOnItsInputIsGone) {
    cord(4, 5);
    click(405);
    click(306);
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
    EXPECT_EQ(cordCount(), 0);
    EXPECT_EQ(view.lamp(405), 0);
    EXPECT_EQ(view.lamp(306), 0);
}

TEST_F(PatchBayTest, OtherControlsAreNotJacks) {
    click(189);
    click(300);
    click(333);
    click(400);
    click(433);
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(bay.heldCord(), HeldCord::None);
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
