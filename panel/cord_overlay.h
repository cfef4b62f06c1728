#pragma once
// The transparent layer above every control of the panel on which the cords and the rubber band are
// painted from the patch bay's state. It never takes a mouse event: clicks and moves reach the jacks
// and the panel beneath it.
// GUI thread only.

#include <QColor>
#include <QWidget>

namespace voltina {

class PatchBay;

const QColor kGreenCord(0, 255, 0);
const QColor kRedCord(255, 0, 0);

class CordOverlay : public QWidget {
    Q_OBJECT
  public:
    CordOverlay(PatchBay& bay, QWidget* panel);

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    PatchBay& bay_;
};

}  // namespace voltina
