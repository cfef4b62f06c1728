#pragma once
// The panel's two-state picture button: type buttons, jacks, operator signs, H.P and record switches.
// Clicks are left to the push button underneath, which reports them to the panel; the state is set only
// from outside, through setState.

#include <QPushButton>

namespace voltina {

class SynthPanel;

// The set-state message of the picture buttons.
constexpr int UM_SETSTATE = 1579;

class PictureButton : public QPushButton {
    Q_OBJECT
  public:
    PictureButton(int ctrlId, SynthPanel& panel, QWidget* parent);

    int ctrlId() const { return ctrlId_; }
    int state() const { return state_; }

    // UM_SETSTATE: wParam 2 toggles, 0 or 1 sets. Repaints at once and returns the new state.
    int setState(int wParam);

    // The picture the last paint put on the screen, for checks.
    int paintedBitmap() const { return paintedBitmap_; }

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

  private:
    SynthPanel& panel_;
    int ctrlId_;
    int state_ = 0;
    int paintedBitmap_ = 0;
};

}  // namespace voltina
