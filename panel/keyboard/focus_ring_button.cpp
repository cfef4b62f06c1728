#include "panel/keyboard/focus_ring_button.h"

#include <QPainter>

#include "panel/panel_look.h"

namespace voltina {

void FocusRingButton::paintEvent(QPaintEvent* e) {
    QPushButton::paintEvent(e);
    if (!hasFocus()) return;
    QPainter painter(this);
    paintFocusMark(painter, rect());
}

}  // namespace voltina
