#include "panel/keyboard/panel_keyboard.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "panel/keyboard/reading_order.h"
#include "panel/knob.h"
#include "panel/panel_cord_editor.h"
#include "panel/panel_look.h"
#include "panel/patch_bay.h"
#include "panel/synth_panel.h"
#include "patch/jack_number.h"

namespace voltina {

namespace {

bool canTakeFocus(const QWidget* w) {
    return w && w->isEnabled() && w->isVisible() && (w->focusPolicy() & Qt::TabFocus);
}

// Keys that only change what the next one types; Shift and AltGr type digits on some keyboards.
bool isModifierKey(int key) {
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_AltGr ||
           key == Qt::Key_Meta || key == Qt::Key_Super_L || key == Qt::Key_Super_R ||
           key == Qt::Key_CapsLock || key == Qt::Key_NumLock;
}

int idOf(const QObject* o) {
    const QString name = o->objectName();
    return name.startsWith(QLatin1String("ctl")) ? name.mid(3).toInt() : 0;
}

}  // namespace

bool focusJack(SynthPanel& panel, int jack) {
    QWidget* w = JackNumber::of(jack).isJack() ? panel.control(jack) : nullptr;
    if (!canTakeFocus(w)) return false;
    // Not the mouse's reason: a held cord's band follows, and the screen reader hears the jack's name.
    w->setFocus(Qt::ShortcutFocusReason);
    return true;
}

PanelKeyboard::PanelKeyboard(SynthPanel& panel) : QObject(&panel), panel_(panel), typed_(new QLabel(&panel)) {
    QWidget* previous = nullptr;
    for (const std::vector<int>& group : panelReadingGroups()) {
        for (int id : group) {
            QWidget* w = panel_.control(id);
            if (!w) continue;
            w->installEventFilter(this);
            if (previous) QWidget::setTabOrder(previous, w);
            previous = w;
        }
    }
    typed_->setObjectName(QStringLiteral("typedJack"));
    styleValueTip(typed_);
    typed_->hide();
    pause_.setSingleShot(true);
    pause_.setInterval(static_cast<int>(JackTyping::kPauseMs));
    connect(&pause_, &QTimer::timeout, this, &PanelKeyboard::stopTyping);
}

bool PanelKeyboard::moveInGroup(QWidget* from, bool forward) {
    const int next =
        neighbourInGroup(idOf(from), forward, [this](int id) { return canTakeFocus(panel_.control(id)); });
    QWidget* w = panel_.control(next);
    if (!w || w == from) return false;
    w->setFocus(Qt::TabFocusReason);
    return true;
}

bool PanelKeyboard::moveToModule(QWidget* from, bool forward) {
    const int next = firstOfNeighbourGroup(idOf(from), forward,
                                           [this](int id) { return canTakeFocus(panel_.control(id)); });
    if (QWidget* w = panel_.control(next); w && w != from) w->setFocus(Qt::TabFocusReason);
    return true;
}

void PanelKeyboard::typeDigit(QWidget* at, const QKeyEvent& key) {
    const TypedJack typed = typing_.digit(key.key() - Qt::Key_0, key.timestamp());
    if (!typed.digits.empty()) {
        // The places still to fill show that the number is not complete: "Jack 3__".
        showTyped(at,
                  QStringLiteral("Jack %1").arg(QString::fromStdString(typed.digits), -3, QLatin1Char('_')));
        return;
    }
    stopTyping();
    if (typed.jack != 0) {
        focusJack(panel_, typed.jack);
    } else {
        panel_.showMessage(typed.problem, jackNumbersHint());
    }
}

void PanelKeyboard::showTyped(QWidget* at, const QString& text) {
    // Above the control, as a knob's value tip, kept inside the panel.
    typed_->setText(text);
    typed_->adjustSize();
    const QRect place = at->geometry();
    const int x = std::clamp(place.center().x() - typed_->width() / 2, 0, panel_.width() - typed_->width());
    const int y =
        place.top() >= typed_->height() + 2 ? place.top() - typed_->height() - 2 : place.bottom() + 2;
    typed_->move(x, y);
    typed_->show();
    typed_->raise();
    pause_.start();
}

void PanelKeyboard::stopTyping() {
    typing_.clear();
    typed_->hide();
    pause_.stop();
}

void PanelKeyboard::bandToFocusedJack(int id) {
    // The band follows the focus as it follows the mouse, so the eye sees what the next key plugs.
    PatchBay* bay = patchBayOf(panel_.cordEditor());
    if (!bay || bay->heldCord() == HeldCord::None || jackName(id).empty()) return;
    const PanelPoint p = bay->jackPoint(id);
    bay->moveBand(p.x, p.y, 0);
}

bool PanelKeyboard::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::FocusIn) {
        if (static_cast<QFocusEvent*>(e)->reason() != Qt::MouseFocusReason) bandToFocusedJack(idOf(watched));
        return false;
    }
    if (e->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(e);
    auto* w = static_cast<QWidget*>(watched);
    const Qt::KeyboardModifiers held =
        key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool arrow = key->key() == Qt::Key_Left || key->key() == Qt::Key_Right ||
                       key->key() == Qt::Key_Up || key->key() == Qt::Key_Down;
    if (held == Qt::ControlModifier && arrow) {
        stopTyping();
        return moveToModule(w, key->key() == Qt::Key_Right || key->key() == Qt::Key_Down);
    }
    if (held || isModifierKey(key->key())) return false;
    // Shift is allowed: it is how some keyboards (AZERTY) type their digits.
    if (key->key() >= Qt::Key_0 && key->key() <= Qt::Key_9) {
        typeDigit(w, *key);
        return true;
    }
    const bool wasTyping = typing_.typing();
    stopTyping();
    const bool knob = qobject_cast<Knob*>(w) != nullptr;
    switch (key->key()) {
        case Qt::Key_Escape:
            return wasTyping || panel_.letGoOfHeldCord();
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* b = qobject_cast<QPushButton*>(w); b && !knob && !key->isAutoRepeat()) {
                b->click();
                return true;
            }
            return false;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (knob) return false;  // the knob turns
            return moveInGroup(w, key->key() == Qt::Key_Down);
        case Qt::Key_Left:
        case Qt::Key_Right:
            return moveInGroup(w, key->key() == Qt::Key_Right);
        default:
            return false;
    }
}

}  // namespace voltina
