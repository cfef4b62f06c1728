#include "panel/patch_bay.h"

#include <algorithm>

#include "patch/jack_number.h"

namespace voltina {

namespace {

bool isInputJack(int id) {
    return JackNumber::of(id).isInput();
}
bool isOutputJack(int id) {
    return JackNumber::of(id).isOutput();
}

PixelBox lineBox(PanelPoint a, PanelPoint b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

PixelBox unite(const PixelBox& a, const PixelBox& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

}  // namespace

std::string jackName(int jackId) {
    const auto n = [](int k) { return std::to_string(k + 1); };
    std::string what;
    if (isInputJack(jackId)) {
        const int i = JackNumber::of(jackId).index();
        const int pair = (i % 2);
        if (i < kInAccumulator) {
            what = "Mixer channel " + n(i) + ", input";
        } else if (i < kInMultiplier) {
            what = "Accumulator " + n((i - kInAccumulator) / 2) + ", input " + n(pair);
        } else if (i < kInSinusoider) {
            what = "Multiplier " + n((i - kInMultiplier) / 2) + ", input " + n(pair);
        } else if (i < kInPanoramiker) {
            what = "Sinusoider " + n((i - kInSinusoider) / 2) +
                   (pair == 0 ? ", amplitude input" : ", angle input");
        } else {
            what = "Auto-pan " + n((i - kInPanoramiker) / 2) +
                   (pair == 0 ? ", sound input" : ", position input");
        }
    } else if (isOutputJack(jackId)) {
        const int o = JackNumber::of(jackId).index();
        if (o < kOutAccumulator) {
            what = "Oscillator " + n(o) + ", output 1";
        } else if (o < kOutMultiplier) {
            what = "Accumulator " + n(o - kOutAccumulator) + ", output";
        } else if (o < kOutSinusoider) {
            what = "Multiplier " + n(o - kOutMultiplier) + ", output";
        } else if (o < kOutPanoramiker) {
            what = "Sinusoider " + n(o - kOutSinusoider) + ", output";
        } else if (o < kOutOscB) {
            what = "Auto-pan " + n(o - kOutPanoramiker) + ", output (mixer inputs only)";
        } else if (o < kOutMidiSine) {
            what = "Oscillator " + n(o - kOutOscB) + ", output 2";
        } else if (o == kOutMidiSine) {
            what = "MIDI voice, sine output";
        } else if (o == kOutMidiSquare) {
            what = "MIDI voice, pulse output";
        } else if (o == kOutMidiSaw) {
            what = "MIDI voice, ramp output";
        } else {
            what = "Wave, output";
        }
    } else {
        return {};
    }
    return what + " (" + std::to_string(jackId) + ")";
}

PatchBay::PatchBay(PatchSession& session, PatchBayView& view)
    : session_(session), state_(session.state()), view_(view) {}

PanelPoint PatchBay::jackPoint(int jackId) const {
    const PanelPoint corner = view_.jackCorner(jackId);
    return {corner.x + kJackPointDx, corner.y};
}

PanelPoint PatchBay::outputAnchor(int output) const {
    PanelPoint p = jackPoint(JackNumber::output(output).number());
    if (isSidewaysOutput(output)) {
        p.x += kSidewaysBandDx;
        p.y += kSidewaysBandDy;
    }
    return p;
}

void PatchBay::setBand(PanelPoint anchor, PanelPoint end) {
    // The band is only recorded here; the next mouse move shows it.
    bandAnchor_ = anchor;
    bandEnd_ = end;
}

StepGrouping PatchBay::newHeldCord() {
    heldStep_ = {"held cord " + std::to_string(++heldCount_), 0};
    return heldStep_;
}

void PatchBay::endHeldCord() {
    held_ = HeldCord::None;
    heldStep_ = {};
    session_.endGesture();
}

void PatchBay::refuse(int jackId, PlugRule rule, int output, int input) {
    // The rule in the panel's own words; the jacks it is about in the line under it. The auto-pan rule
    // speaks while the clicked jack is still lit, the others once its lamp is back as it was.
    if (rule == PlugRule::AutoPanOutsideMixer) {
        view_.showMessage(kAutoPanMessage, jackName(JackNumber::output(output).number()) +
                                               " cannot go into " +
                                               jackName(JackNumber::input(input).number()));
        restoreLamp(jackId);
        return;
    }
    restoreLamp(jackId);
    std::string names;
    if (rule == PlugRule::InputTaken && hasCord(state_, input)) {
        names = jackName(JackNumber::input(input).number()) + " is fed by " +
                jackName(JackNumber::output(state_.cordSource[input]).number());
    } else if (rule == PlugRule::OutputTaken) {
        const int fed = inputFedBy(state_, output);
        if (fed != kNoCord)
            names = jackName(JackNumber::output(output).number()) + " feeds " +
                    jackName(JackNumber::input(fed).number());
    }
    view_.showMessage(plugRuleMessage(rule, state_, output, input), names);
}

void PatchBay::onJackClick(int ctrlId) {
    if (!isInputJack(ctrlId) && !isOutputJack(ctrlId)) return;
    moveBand(0, 0, 1);
    if (isInputJack(ctrlId)) {
        onInputClick(JackNumber::of(ctrlId).index());
    } else {
        onOutputClick(JackNumber::of(ctrlId).index());
    }
    view_.setPlugCursor(held_ != HeldCord::None);
}

bool PatchBay::inputPlugged(int i) const {
    return state_.cordPresent[i] == 1 || (held_ == HeldCord::FixedAtInput && i == pickedInput_);
}

bool PatchBay::outputPlugged(int o) const {
    return state_.outputUsed[o] != 0 || (held_ == HeldCord::FixedAtOutput && o == pickedOutput_);
}

void PatchBay::onInputClick(int i) {
    const int jack = JackNumber::input(i).number();
    const bool plugged = inputPlugged(i);
    view_.toggleLamp(jack);
    if (!plugged) {
        switch (held_) {
            case HeldCord::None:
                setBand(jackPoint(jack), jackPoint(jack));
                pickedInput_ = i;
                held_ = HeldCord::FixedAtInput;
                newHeldCord();
                break;
            case HeldCord::FixedAtInput:
                refuse(jack, PlugRule::InputIntoInput, 0, i);
                break;
            default:
                plugHeldCord(jack, pickedOutput_, i, false);
                break;
        }
        return;
    }
    switch (held_) {
        case HeldCord::FixedAtInput:
            if (i == pickedInput_) {
                endHeldCord();  // let go where it was picked: nothing was plugged
            } else {
                refuse(jack, PlugRule::InputIntoInput, 0, i);
            }
            break;
        case HeldCord::FixedAtOutput:
            refuse(jack, PlugRule::InputTaken, pickedOutput_, i);
            break;
        default: {
            // Taken out at the input: the output keeps its plug and the user holds the loose end.
            tidyRoutingAndHideCords();
            const int o = state_.cordSource[i];
            session_.apply(Edit::unplugAtInput(i), newHeldCord());
            if (o >= 0 && o < kJacks) {
                pickedOutput_ = o;
                setBand(outputAnchor(o), jackPoint(jack));
                tidyRoutingAndShowCords();
                held_ = HeldCord::FixedAtOutput;
            } else {
                tidyRoutingAndShowCords();
                endHeldCord();
            }
            break;
        }
    }
}

void PatchBay::plugHeldCord(int clickedJack, int output, int input, bool chooseSample) {
    const PlugRule rule = plugRule(state_, output, input);
    if (rule != PlugRule::Allowed) {
        refuse(clickedJack, rule, output, input);
        return;
    }
    const StepGrouping step = heldStep_;
    held_ = HeldCord::None;
    tidyRoutingAndHideCords();
    if (chooseSample) chooseSampleIfNoneLoaded();
    // The session checks the rules again: the sample list ran its own event loop, and a nested click
    // may have plugged something meanwhile.
    session_.apply(Edit::plug(output, input), step);
    endHeldCord();
    tidyRoutingAndShowCords();
}

void PatchBay::chooseSampleIfNoneLoaded() {
    if (state_.waveSample) return;
    view_.selectSample();
    view_.pumpUntilPanelPainted();
}

void PatchBay::onOutputClick(int o) {
    const int jack = JackNumber::output(o).number();
    const bool plugged = outputPlugged(o);
    view_.toggleLamp(jack);
    if (!plugged) {
        switch (held_) {
            case HeldCord::None: {
                const PanelPoint point = jackPoint(jack);
                setBand(point, point);
                if (o == kOutWave) chooseSampleIfNoneLoaded();
                pickedOutput_ = o;
                if (isSidewaysOutput(o)) bandAnchor_ = outputAnchor(o);
                held_ = HeldCord::FixedAtOutput;
                newHeldCord();
                break;
            }
            case HeldCord::FixedAtOutput:
                refuse(jack, PlugRule::OutputIntoOutput, o, 0);
                break;
            default:
                // The sample list runs its own event loop: keep the input this click plugs, whatever a
                // nested click does to the editing state meanwhile.
                plugHeldCord(jack, o, pickedInput_, o == kOutWave);
                break;
        }
        return;
    }
    switch (held_) {
        case HeldCord::FixedAtOutput:
            if (o == pickedOutput_) {
                endHeldCord();  // let go where it was picked: nothing was plugged
            } else {
                refuse(jack, PlugRule::OutputIntoOutput, o, 0);
            }
            break;
        case HeldCord::FixedAtInput:
            refuse(jack, PlugRule::OutputTaken, o, pickedInput_);
            break;
        default: {
            // Taken out at the output: the input keeps its plug and the user holds the loose end.
            tidyRoutingAndHideCords();
            const int found = inputFedBy(state_, o);
            session_.apply(Edit::unplugAtOutput(o), newHeldCord());
            if (found == kNoCord) {
                // An output marked used that feeds no input: only its mark was left. It is dark and free now.
                tidyRoutingAndShowCords();
                endHeldCord();
                break;
            }
            pickedInput_ = found;
            setBand(jackPoint(JackNumber::input(found).number()), jackPoint(jack));
            tidyRoutingAndShowCords();
            held_ = HeldCord::FixedAtInput;
            break;
        }
    }
}

void PatchBay::moveBand(int x, int y, int clear) {
    PixelBox area;
    if (bandShown()) area = lineBox(bandAnchor_, bandEnd_);
    if (clear) {
        bandEnd_.x = kNoBand;
    } else {
        bandEnd_ = {x, y};
        area = unite(area, lineBox(bandAnchor_, bandEnd_));
    }
    if (!area.empty()) view_.bandChanged(area);
}

std::vector<CordPath> PatchBay::cordPaths() const {
    std::vector<CordPath> paths;
    CordColour colour = CordColour::Green;
    for (int i = 0; i < kJacks; ++i) {
        if (!hasCord(state_, i)) continue;
        const int o = state_.cordSource[i];
        paths.push_back({i, o, colour,
                         cordRoute(o, jackPoint(JackNumber::output(o).number()),
                                   jackPoint(JackNumber::input(i).number()))});
        colour = colour == CordColour::Green ? CordColour::Red : CordColour::Green;
    }
    return paths;
}

void PatchBay::tidyRouting(bool hideCords) {
    // The overlay computes the routes itself when it paints.
    tidyInputsWithoutCord(session_.state());
    cordsErased_ = hideCords;
    bandEnd_.x = kNoBand;
    view_.cordsChanged();
}

void PatchBay::dropHeldCord() {
    moveBand(0, 0, 1);
    endHeldCord();
    view_.setPlugCursor(false);
}

}  // namespace voltina
