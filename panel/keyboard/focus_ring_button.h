#pragma once
// A plain push button of the panel (a frequency read-out, Sync, Wave) that wears the amber focus ring the
// knobs and the pictures wear, so the keyboard's place reads the same on every control.
// GUI thread only.

#include <QPushButton>

namespace voltina {

class FocusRingButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* e) override;
};

}  // namespace voltina
