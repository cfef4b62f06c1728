#pragma once
// The panel's two-state picture button: type buttons, jacks, operator signs, H.P and record switches.
// Clicks are left to the push button underneath, which reports them to the panel; the state is set only
// from outside, through setState.

#include <QPushButton>

namespace voltina {

class TPrinc;

// The set-state message of the picture buttons.
constexpr int UM_SETSTATE = 1579;

class TPerso : public QPushButton {
    Q_OBJECT
  public:
    TPerso(int ctrlId, TPrinc& panel, QWidget* parent);

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
    TPrinc& panel_;
    int ctrlId_;
    int state_ = 0;
    int paintedBitmap_ = 0;
};

}  // namespace voltina
