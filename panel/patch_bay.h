#pragma once
// The patch bay's editing as the mouse does it: which end of a cord the user holds, the rubber band, the
// lamps and the cursor. What a click does to the cords is an edit of the panel's session, which holds the
// cord rules and their words; this only asks it. It draws nothing and knows no widget: the panel is
// reached through PatchBayView (an adapter over SynthPanel in the program, a fake in tests), and the cord
// overlay paints whatever this holds.
// GUI thread only.

#include <string>
#include <vector>

#include "engine/engine_state.h"
#include "panel/cord_editor.h"
#include "panel/cord_routes.h"
#include "patch/patch_session.h"

namespace voltina {

// What a jack is, for its tip: the module, input or output, and the number configurations write for it
// ("Sinusoider 1, angle input (322)"); empty for ids that name no jack.
std::string jackName(int jackId);

// bandEnd.x of a rubber band that is not on the screen.
constexpr int kNoBand = -1000;

// Pixels of the panel that must be painted again, right and bottom included.
struct PixelBox {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool empty() const { return right < left || bottom < top; }
};

// What the patch bay asks of the panel.
class PatchBayView {
  public:
    virtual ~PatchBayView() = default;
    // Toggles the jack's lamp and repaints it; whether it is lit now.
    virtual bool toggleLamp(int jackId) = 0;
    // Top-left corner of the jack's control in panel client coordinates.
    virtual PanelPoint jackCorner(int jackId) const = 0;
    // The program's modal information box, with a line of detail under the text when it is not empty.
    virtual void showMessage(const std::string& text, const std::string& detail) = 0;
    // The plug cursor while a cord end is held, the arrow otherwise.
    virtual void setPlugCursor(bool plug) = 0;
    // The Wave button's sample choice (may load a sample, or not).
    virtual void selectSample() = 0;
    // Lets pending events run until the panel has repainted.
    virtual void pumpUntilPanelPainted() = 0;
    // The cords must be painted again (all of them, or none while erased).
    virtual void cordsChanged() = 0;
    // The rubber band moved; `area` covers where it was and where it is.
    virtual void bandChanged(const PixelBox& area) = 0;
};

enum class CordColour { Green, Red };

// One cord as a drawing pass draws it.
struct CordPath {
    int input = 0;
    int output = 0;
    CordColour colour = CordColour::Green;
    std::vector<PanelPoint> polyline;
};

class PatchBay {
  public:
    PatchBay(PatchSession& session, PatchBayView& view);

    // FixedAtInput: the fixed end is the input pickedInput; FixedAtOutput: the output pickedOutput.
    HeldCord heldCord() const { return held_; }
    int pickedInput() const { return pickedInput_; }
    int pickedOutput() const { return pickedOutput_; }
    PanelPoint bandAnchor() const { return bandAnchor_; }
    PanelPoint bandEnd() const { return bandEnd_; }
    bool bandShown() const { return bandEnd_.x != kNoBand; }
    // Between tidyRoutingAndHideCords and tidyRoutingAndShowCords the cords are off the panel.
    bool cordsErased() const { return cordsErased_; }

    // A click reported by jack control 301..332 or 401..432; other ids are ignored.
    void onJackClick(int ctrlId);
    // Moves the band's loose end to (x, y), or takes the band off when clear is 1.
    void moveBand(int x, int y, int clear);
    // Either way the inputs without a cord are tidied and the band is forgotten; then the cords go off
    // the panel, or come back on it.
    void tidyRoutingAndHideCords() { tidyRouting(true); }
    void tidyRoutingAndShowCords() { tidyRouting(false); }
    // Lets go of a held cord end: no band, nothing held, the arrow cursor. The lamps are the panel's to
    // bring in line with the routing arrays afterwards.
    void dropHeldCord();

    // The cords a drawing pass draws, in input order with alternating colours. The overlay calls it on
    // every paint, so it only reads the routing.
    std::vector<CordPath> cordPaths() const;
    // A jack's jack point: 14 pixels right of its control's top-left corner.
    PanelPoint jackPoint(int jackId) const;

  private:
    // A plug in the jack, which decides what a click on it does: a cord's end in the routing, or the end
    // the user holds (whose lamp is lit, though the routing has no cord there yet). The lamps only show it.
    bool inputPlugged(int input) const;
    bool outputPlugged(int output) const;
    void onInputClick(int input);
    void onOutputClick(int output);
    // A click the patch bay does not take: the jack's lamp goes back as it was and the rule is said.
    void refuse(int jackId, PlugRule rule, int output, int input);
    void restoreLamp(int jackId) { view_.toggleLamp(jackId); }
    void setBand(PanelPoint anchor, PanelPoint end);
    // Ends a held cord: `output` into `input`, nothing held any more, or the rule's message and the
    // clicked jack's lamp back. The sample list, when asked for, opens while the cords are off the panel.
    void plugHeldCord(int clickedJack, int output, int input, bool chooseSample);
    // The held cord is let go: its step in the history is complete.
    void endHeldCord();
    // A new cord end is held; a cord taken out and plugged elsewhere is one step.
    StepGrouping newHeldCord();
    void chooseSampleIfNoneLoaded();
    PanelPoint outputAnchor(int output) const;
    void tidyRouting(bool hideCords);

    PatchSession& session_;
    const EngineState& state_;
    PatchBayView& view_;
    StepGrouping heldStep_;
    int heldCount_ = 0;
    HeldCord held_ = HeldCord::None;
    int pickedInput_ = 0;
    int pickedOutput_ = 0;
    PanelPoint bandAnchor_{0, 0};
    PanelPoint bandEnd_{kNoBand, 0};  // no band on the screen yet
    bool cordsErased_ = false;
};

}  // namespace voltina
