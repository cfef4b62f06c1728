#pragma once
// Patching without the mouse: Tab walks the panel in reading order, the arrow keys move inside a
// module's group (Up and Down turn a knob instead), Ctrl with an arrow jumps to the next or previous
// module, three digits go to the jack of that number, Enter does what Space does on a button (a jack
// takes, carries or plugs a cord; a frequency entry opens the typed entry), Escape drops the digits
// being typed or lets go of a held cord.
// GUI thread only.

#include <QObject>
#include <QTimer>

#include "panel/keyboard/jack_typing.h"

class QKeyEvent;
class QLabel;
class QWidget;

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
    bool moveToModule(QWidget* from, bool forward);
    void typeDigit(QWidget* at, const QKeyEvent& key);
    void showTyped(QWidget* at, const QString& text);
    void stopTyping();
    void bandToFocusedJack(int id);

    SynthPanel& panel_;
    JackTyping typing_;
    QLabel* typed_;  // the digits so far, beside the control that has the focus
    QTimer pause_;
};

// Puts the keyboard's focus on a jack (the band of a held cord follows it); false for a number that names
// no jack the panel shows.
bool focusJack(SynthPanel& panel, int jack);

}  // namespace voltina
