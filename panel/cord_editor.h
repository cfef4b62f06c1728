#pragma once
// The patch bay's cord editing as the panel sees it. The panel hands it every jack click and every
// mouse move (already converted to panel coordinates, lifted by kBandLift) while a cord end is held.
// Cords are drawn by an overlay widget above all controls; the panel keeps that widget on top and the
// size of the panel, and it repaints with the panel, so a panel repaint redraws every cord over the
// controls it crosses without the panel drawing anything itself.
// GUI thread only.

class QWidget;

namespace voltina {

// The rubber band's loose end is drawn this many pixels above the mouse pointer.
constexpr int kBandLift = 29;

// Which end of a cord the user holds: none, or a cord whose fixed end is an input (the loose end looks for
// an output) or an output (the loose end looks for an input).
enum class HeldCord { None, FixedAtInput, FixedAtOutput };

class CordEditor {
  public:
    virtual ~CordEditor() = default;

    virtual HeldCord heldCord() const = 0;
    virtual void onJackClick(int ctrlId) = 0;
    // (x, y) in panel client coordinates; clear = 1 removes the rubber band.
    virtual void moveBand(int x, int y, int clear) = 0;
    // Both first tidy the routing arrays (inputs without a cord read as free) and forget the band; then
    // the cords go off the panel, or are drawn again from the arrays.
    virtual void tidyRoutingAndHideCords() = 0;
    virtual void tidyRoutingAndShowCords() = 0;
    // Lets go of a held cord end without making a cord (a whole new patch is about to be loaded).
    virtual void dropHeldCord() {}
    // The transparent widget the cords are drawn on, or null. The panel makes it its child; the editor
    // may own it, since the panel lets go of the editor before it deletes its children.
    virtual QWidget* overlay() = 0;
};

}  // namespace voltina
