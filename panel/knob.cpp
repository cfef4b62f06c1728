#include "panel/knob.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "engine/frequency_text.h"
#include "engine/oscillator.h"
#include "panel/accessibility/control_names.h"
#include "panel/accessibility/panel_accessible.h"
#include "panel/bitmap_table.h"
#include "panel/paint_gate.h"
#include "panel/panel_audio.h"
#include "panel/panel_look.h"
#include "panel/synth_panel.h"
#include "patch/controls.h"
#include "patch/edit.h"
#include "patch/patch_session.h"
#include "resources/artwork.h"
#include "resources/panel_template.h"

namespace voltina {

namespace {
// A full turn of the dial, as the dial has always drawn it.
constexpr float kTurn = 6.28232f;
const QColor kPanGray(128, 128, 128);
// What a knob turns, by its index (its id counted from the first oscillator knob): the eight oscillator
// frequencies first, then the mixer's levels and its pans.
constexpr int kLevelIndex = ctl::kMixLevelKnob - ctl::kOscKnob;
constexpr int kPanIndex = ctl::kMixPanKnob - ctl::kOscKnob;
// Wheel notches on one knob this close together are one undo step.
constexpr std::uint64_t kWheelStepMs = 500;
}  // namespace

Knob::Knob(int ctrlId, SynthPanel& panel, QWidget* parent)
    : QPushButton(parent), panel_(panel), paramIndex_(ctrlId - ctl::kOscKnob) {
    int choice = 0;
    control_ = panelControl(ctrlId, controlIndex_, choice);
    if (control_ == nullptr) control_ = &controlRow(Control::Frequency);
    setFlat(true);
    setObjectName(QStringLiteral("ctl%1").arg(ctrlId));
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &Knob::tick);
    wheelTipTimer_.setSingleShot(true);
    wheelTipTimer_.setInterval(800);
    connect(&wheelTipTimer_, &QTimer::timeout, this, [this] {
        if (!held()) panel_.valueTip()->hide();
    });
}

int Knob::intValue() const {
    const EngineState& s = panel_.state();
    if (paramIndex_ >= kPanIndex && paramIndex_ < kPanIndex + kMixerChannels)
        return s.mixPan[paramIndex_ - kPanIndex];
    if (paramIndex_ >= kLevelIndex && paramIndex_ < kPanIndex) return s.mixLevel[paramIndex_ - kLevelIndex];
    return 0;
}

void Knob::mousePressEvent(QMouseEvent* e) {
    // Never handed to the push button: a knob shows no pressed face and sends no click.
    if (e->button() == Qt::LeftButton) {
        press(-1, mapTo(&panel_, e->position().toPoint()));
    } else if (e->button() == Qt::RightButton) {
        press(+1, mapTo(&panel_, e->position().toPoint()));
    }
    e->accept();
}

void Knob::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton) release();
    e->accept();
}

void Knob::mouseDoubleClickEvent(QMouseEvent* e) {
    // The second press of a double click neither turns the knob nor clicks.
    e->accept();
}

KnobKind Knob::kind() const {
    if (paramIndex_ < kOscillators) return KnobKind::Frequency;
    return paramIndex_ >= kPanIndex ? KnobKind::Pan : KnobKind::Level;
}

void Knob::startStep(int direction) {
    const float hz = paramIndex_ < kOscillators ? panel_.state().oscFreq[paramIndex_] : 0.0f;
    turn_ = startKnobTurn(kind(), direction, hz);
}

bool Knob::showsTip() const {
    return paramIndex_ >= kLevelIndex;
}

bool Knob::event(QEvent* e) {
    if (e->type() != QEvent::ToolTip) return QPushButton::event(e);
    const std::string text = controlName(ctrlId()) + ": " + knobValueText(ctrlId(), panel_.state());
    QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), QString::fromStdString(text), this);
    return true;
}

void Knob::showTip(QPoint panelPos) {
    QLabel* tip = panel_.valueTip();
    tip->move(panelPos.x() - 20, panelPos.y() - 30);
    if (paramIndex_ < kPanIndex) tip->setText(QString::number(intValue()));
    tip->show();
    tip->raise();
}

void Knob::press(int direction, QPoint panelPos) {
    // The mouse stays with this knob while a button is down (Qt's implicit grab), so a press of the
    // other button only restarts the turn.
    if (turn_.step != 0.0f) timer_.stop();
    turnStep_ = {objectName().toStdString() + " held " + std::to_string(++holds_), 0};
    turned_ = false;
    startStep(direction);
    if (showsTip()) showTip(panelPos);
    timer_.start();
}

void Knob::release() {
    turn_.step = 0.0f;
    timer_.stop();
    panel_.session().endGesture();
    if (showsTip()) panel_.valueTip()->hide();
}

void Knob::wheelEvent(QWheelEvent* e) {
    e->accept();
    if (held()) return;  // a held button is turning it already
    wheelAngle_ += e->angleDelta().y();
    const int notches = wheelAngle_ / 120;
    if (notches == 0) return;
    wheelAngle_ -= notches * 120;
    if (showsTip()) showTip(mapTo(&panel_, e->position().toPoint()));
    const int direction = notches > 0 ? 1 : -1;
    turnStep_ = {objectName().toStdString() + " wheel", kWheelStepMs};
    for (int k = 0; k < notches * direction; ++k) {
        startStep(direction);
        tick();
    }
    turn_.step = 0.0f;
    if (showsTip()) wheelTipTimer_.start();
}

void Knob::keyPressEvent(QKeyEvent* e) {
    // The keys turn as the wheel does, each press an undo step of its own unless presses come close
    // together; Page Up and Page Down turn as far as a button held for a second.
    constexpr int kTicksPerSecond = 1000 / kTickMs;
    switch (e->key()) {
        case Qt::Key_Up:
            turnByKeys(+1, 1);
            break;
        case Qt::Key_Down:
            turnByKeys(-1, 1);
            break;
        case Qt::Key_PageUp:
            turnByKeys(+1, kTicksPerSecond);
            break;
        case Qt::Key_PageDown:
            turnByKeys(-1, kTicksPerSecond);
            break;
        default:
            QPushButton::keyPressEvent(e);
            return;
    }
    e->accept();
}

void Knob::turnByKeys(int direction, int ticks) {
    if (held()) return;  // a held button is turning it already
    turnStep_ = {objectName().toStdString() + " keys", kWheelStepMs};
    startStep(direction);
    for (int k = 0; k < ticks; ++k) tick();
    turn_.step = 0.0f;
    if (showsTip()) {
        showTip(mapTo(&panel_, QPoint(width() / 2, 0)));
        wheelTipTimer_.start();
    }
}

Knob::Range Knob::range() const {
    const ControlRow& row = *control_;
    return {controlShown(row, row.turnMinimum), controlShown(row, row.turnMaximum), row.displayStep};
}

double Knob::value() const {
    return controlShown(*control_, controlValue(*control_, panel_.state(), controlIndex_));
}

void Knob::setValueOutright(double v) {
    if (!std::isfinite(v) || held()) return;
    const Range r = range();
    if (r.step < 1) {
        // A frequency is taken as the entry under the knob takes it; far beyond any frequency the float
        // would overflow, so it is held to a million first, which the entry takes as its top.
        panel_.session().apply(
            Edit::typedFrequency(controlIndex_, static_cast<float>(std::clamp(v, -1e6, 1e6))));
        panel_.showOscFreq(controlIndex_);
    } else {
        const double whole = static_cast<double>(std::lround(std::clamp(v, r.minimum, r.maximum)));
        panel_.session().apply(controlEdit(*control_, controlIndex_, controlFromShown(*control_, whole)));
        showValue();
    }
}

void Knob::showValue() {
    update();
    announceValueChange(this);
}

void Knob::tick() {
    if (paramIndex_ < kOscillators) {
        tickOscillator();
    } else if (paramIndex_ >= kPanIndex) {
        tickPan();
    } else {
        tickLevel();
    }
}

void Knob::turn(const Edit& edit) {
    turned_ = true;
    panel_.session().apply(edit, turnStep_);
    announceValueChange(this);
}

void Knob::tickOscillator() {
    const int i = paramIndex_;
    turn(Edit::frequencyKnob(i, turn_.step));
    const float f = panel_.state().oscFreq[i];
    turn_ = nextKnobTurn(KnobKind::Frequency, turn_, f);
    update();
    panel_.button(ctl::kOscFreqButton + i)->setText(QString::fromStdString(formatFrequency(f)));
}

void Knob::tickLevel() {
    if (paramIndex_ < kLevelIndex) return;  // the indexes between the frequencies and the levels name no knob
    const int channel = paramIndex_ - kLevelIndex;
    turn(Edit::levelKnob(channel, turn_.step));
    panel_.valueTip()->setText(QString::number(panel_.state().mixLevel[channel]));
    update();
    turn_ = nextKnobTurn(KnobKind::Level, turn_, 0.0f);
}

void Knob::tickPan() {
    const int channel = paramIndex_ - kPanIndex;
    turn(Edit::panKnob(channel, turn_.step > 0.0f ? 1 : -1));
    panel_.valueTip()->setText(
        QString::number(static_cast<int>(controlShown(*control_, panel_.state().mixPan[channel]))));
    update();
}

QPoint Knob::pointerEnd() const {
    float a = 0.0f;
    if (paramIndex_ < kOscillators) {
        a = panel_.state().oscFreq[paramIndex_] * kTurn / static_cast<float>(control_->turnMaximum);
    } else {
        // The pan controls draw no pointer; theirs turns as a level's would.
        a = static_cast<float>(intValue()) * kTurn /
            static_cast<float>(controlRow(Control::Level).turnMaximum);
    }
    return QPoint(static_cast<int>(18.0f + 12.0f * std::sin(a)),
                  static_cast<int>(19.0f - 12.0f * std::cos(a)));
}

void Knob::paintEvent(QPaintEvent* e) {
    QPushButton::paintEvent(e);
    renderSoundDueDuringPaint(panel_.audio());
    QPainter painter(this);
    if (paramIndex_ < kPanIndex) {
        const int face = paramIndex_ < kOscillators ? art::kRedKnobFace : art::kBlueKnobFace;
        painter.drawPixmap(0, 0, panel_.bitmaps().get(face));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPoint(17, 16), pointerEnd());
    } else {
        const int w = intValue() * 30 / 100;
        painter.fillRect(QRect(QPoint(3, 4), QPoint(w + 3, 8)).adjusted(0, 0, -1, -1), Qt::black);
        painter.fillRect(QRect(QPoint(w + 3, 4), QPoint(33, 8)).adjusted(0, 0, -1, -1), kPanGray);
    }
    if (hasFocus()) paintFocusMark(painter, rect());
}

}  // namespace voltina
