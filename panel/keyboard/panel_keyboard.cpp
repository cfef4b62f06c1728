#include "panel/keyboard/panel_keyboard.h"

#include <QKeyEvent>
#include <QPushButton>

#include "panel/keyboard/reading_order.h"
#include "panel/knob.h"
#include "panel/panel_cord_editor.h"
#include "panel/patch_bay.h"
#include "panel/synth_panel.h"

namespace voltina {

namespace {

bool canTakeFocus(const QWidget* w) {
    return w && w->isEnabled() && w->isVisible() && (w->focusPolicy() & Qt::TabFocus);
}

int idOf(const QObject* o) {
    const QString name = o->objectName();
    return name.startsWith(QLatin1String("ctl")) ? name.mid(3).toInt() : 0;
}

}  // namespace

PanelKeyboard::PanelKeyboard(SynthPanel& panel) : QObject(&panel), panel_(panel) {
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
}

bool PanelKeyboard::moveInGroup(QWidget* from, bool forward) {
    const int next =
        neighbourInGroup(idOf(from), forward, [this](int id) { return canTakeFocus(panel_.control(id)); });
    QWidget* w = panel_.control(next);
    if (!w || w == from) return false;
    w->setFocus(Qt::TabFocusReason);
    return true;
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
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const bool knob = qobject_cast<Knob*>(w) != nullptr;
    switch (key->key()) {
        case Qt::Key_Escape:
            return panel_.letGoOfHeldCord();
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
