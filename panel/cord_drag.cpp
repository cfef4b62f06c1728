#include "panel/cord_drag.h"

#include <QMouseEvent>
#include <QWidget>

#include "panel/synth_panel.h"

namespace voltina {

CordDrag::CordDrag(SynthPanel& panel) : QObject(&panel), panel_(panel) {}

void CordDrag::watch(QWidget* jack, int id) {
    jacks_[jack] = id;
    jack->installEventFilter(this);
}

QWidget* CordDrag::jackAt(const QPoint& panelPoint, int& id) const {
    for (const auto& [object, jackId] : jacks_) {
        auto* w = static_cast<QWidget*>(object);
        if (w->isVisible() && w->isEnabled() && w->geometry().contains(panelPoint)) {
            id = jackId;
            return w;
        }
    }
    return nullptr;
}

bool CordDrag::eventFilter(QObject* watched, QEvent* event) {
    const auto it = jacks_.find(watched);
    if (it == jacks_.end()) return false;
    auto* jack = static_cast<QWidget*>(watched);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                pressed_ = jack;
                dragging_ = false;
            }
            break;
        case QEvent::MouseMove:
            // Leaving the pressed jack takes its end in hand; a press that stays on it is a click.
            if (pressed_ == jack && !dragging_ &&
                !jack->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
                dragging_ = true;
                panel_.onCommand(it->second, jack);
            }
            break;
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (pressed_ != jack || mouse->button() != Qt::LeftButton) break;
            pressed_ = nullptr;
            if (!dragging_) break;
            dragging_ = false;
            // Released off any jack, the end stays in hand, as after a click.
            int id = 0;
            QWidget* target = jackAt(jack->mapTo(&panel_, mouse->position().toPoint()), id);
            if (target && target != jack) panel_.onCommand(id, target);
            break;
        }
        default:
            break;
    }
    return false;
}

}  // namespace voltina
