#pragma once
// MIDI learn on the panel. A knob's or a wave-type button's menu (a right click; on a knob, whose right
// button turns it up, one released before the knob turned, or one with Shift; or the Menu key or
// Shift+F10 while it has the focus) offers "Learn MIDI controller" and "Forget MIDI controller". While
// the control waits, a dashed ring shows it; the next control change binds its controller to the control
// (one step of the history, as a forget is), and Escape or the menu's choice again stops the wait. A
// bound controller then sets its control outright, as the panel's own gesture does: a sweep of it is one
// step, as wheel notches on a knob are.
// GUI thread only.

#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <cstdint>

#include "patch/controller_map.h"

class QWidget;

namespace voltina {

class SynthPanel;
struct ControlRow;

class MidiLearn : public QObject {
  public:
    // A controller's moves on one control this close together are one step of the history.
    static constexpr std::uint64_t kSweepStepMs = 500;

    // Watches the panel's knobs and wave-type buttons.
    explicit MidiLearn(SynthPanel& panel);

    // The menu of panel control `id` at `globalPos` (not waited for: it pops up and goes on its own).
    void openMenu(int id, QPoint globalPos);
    QMenu* menu() const { return menu_; }
    // Control `id` waits for a controller; another control that waited stops.
    void learn(int id);
    // Control `id` is no longer set by any controller.
    void forget(int id);
    void stopWaiting();
    // The control that waits (its panel id), 0 when none.
    int waitingFor() const { return waiting_; }

    // A short MIDI message the panel received: a control change binds a controller to the control that
    // waits, or moves the control its controller is bound to. False for any other message.
    bool controlChange(std::uint32_t packed);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // What panel control `id` sets (null when no controller can set it) and whose (`index`).
    static const ControlRow* learnable(int id, int& index);
    void showControl(const ControllerBinding& binding);

    SynthPanel& panel_;
    int waiting_ = 0;
    QWidget* ring_ = nullptr;
    QPointer<QMenu> menu_;
    ControllerBindings mapped_;  // the bindings the map was built from
    ControllerMap map_;
};

}  // namespace voltina
