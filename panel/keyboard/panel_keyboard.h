#pragma once
// Patching without the mouse: Tab walks the panel in reading order, the arrow keys move inside a
// module's group (Up and Down turn a knob instead), Enter does what Space does on a button (a jack takes,
// carries or plugs a cord; a frequency entry opens the typed entry), Escape lets go of a held cord.
// GUI thread only.

#include <QObject>

namespace voltina {

class SynthPanel;

class PanelKeyboard : public QObject {
  public:
    // Sets the panel's tab order and watches every control's keys.
    explicit PanelKeyboard(SynthPanel& panel);

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    bool moveInGroup(QWidget* from, bool forward);
    void bandToFocusedJack(int id);

    SynthPanel& panel_;
};

}  // namespace voltina
