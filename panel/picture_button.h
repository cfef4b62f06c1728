#pragma once
// The panel's two-state picture button: type buttons, jacks, operator signs, H.P and record switches.
// Clicks are left to the push button underneath, which reports them to the panel; the lamp is lit or
// put out only from outside (setLit, toggle).

#include <QPushButton>

namespace voltina {

class SynthPanel;

class PictureButton : public QPushButton {
    Q_OBJECT
  public:
    PictureButton(int ctrlId, SynthPanel& panel, QWidget* parent);

    int ctrlId() const { return ctrlId_; }
    bool isLit() const { return lit_; }

    // Both repaint at once; toggle returns whether the button is lit now.
    void setLit(bool lit);
    bool toggle();

    // The picture the last paint put on the screen, for checks.
    int paintedBitmap() const { return paintedBitmap_; }

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

  private:
    SynthPanel& panel_;
    int ctrlId_;
    bool lit_ = false;
    int paintedBitmap_ = 0;
};

}  // namespace voltina
