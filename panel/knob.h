#pragma once
// The panel's knob: held with the left button it turns down, with the right button up, faster the
// longer it is held; each notch of the mouse wheel turns it by one tick of a held button (up raises).
// Oscillator frequency knobs, mixer level knobs and the small pan controls; the levels and the pans
// show their value in the panel's tip while they turn.

#include <QPushButton>
#include <QTimer>

#include "panel/knob_turn.h"
#include "patch/edit_history.h"
#include "resources/panel_template.h"

namespace voltina {

class SynthPanel;
struct Edit;
struct ControlRow;

class Knob : public QPushButton {
    Q_OBJECT
  public:
    static constexpr int kTickMs = 100;

    Knob(int ctrlId, SynthPanel& panel, QWidget* parent);

    int ctrlId() const { return paramIndex_ + ctl::kOscKnob; }
    SynthPanel& panel() const { return panel_; }
    float step() const { return turn_.step; }
    bool held() const { return timer_.isActive(); }
    // Whether the knob has turned since its button went down (a right click that did not opens its menu).
    bool turnedSincePress() const { return turned_; }

    // What the knob sets, as a person reads it: a frequency in Hz, a level 0..128, a pan -10..+10.
    struct Range {
        double minimum, maximum, step;
    };
    Range range() const;
    double value() const;
    // A value given outright (the accessibility layer's): one edit, taken as the typed entry takes a
    // frequency and as the knob would leave a level or a pan.
    void setValueOutright(double value);
    // Turns as a button held for `ticks` ticks would (Up/Down one, Page Up/Down a second's worth).
    void turnByKeys(int direction, int ticks);
    // Repaints the knob for a value changed elsewhere and tells the accessibility layer.
    void showValue();

    // The pointer's end for the knob's current value, in knob pixels.
    QPoint pointerEnd() const;

  protected:
    // Hovered, the knob's tip says what it sets and where it stands now, as a screen reader hears it.
    bool event(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

  private:
    void press(int direction, QPoint panelPos);
    void release();
    KnobKind kind() const;
    // The first step of a turn, as a press starts it: fine below 10 Hz.
    void startStep(int direction);
    bool showsTip() const;
    void showTip(QPoint panelPos);
    void tick();
    void tickOscillator();
    void tickLevel();
    void tickPan();
    int intValue() const;
    // One tick as an edit of the panel's session, in the current turn's undo step.
    void turn(const Edit& edit);

    SynthPanel& panel_;
    int paramIndex_;
    const ControlRow* control_;  // what the knob turns, from the controls' table
    int controlIndex_ = 0;       // the oscillator or the channel
    QTimer timer_;
    int wheelAngle_ = 0;     // eighths of a degree not yet turned
    QTimer wheelTipTimer_;   // hides the tip a moment after the wheel stops
    StepGrouping turnStep_;  // a hold from press to release, or wheel notches close together
    int holds_ = 0;
    bool turned_ = false;
    KnobTurn turn_;  // the step, which grows with the ticks of a turn
};

}  // namespace voltina
