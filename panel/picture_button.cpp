#include "panel/picture_button.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>

#include "panel/accessibility/panel_accessible.h"
#include "panel/bitmap_table.h"
#include "panel/cord_editor.h"
#include "panel/paint_gate.h"
#include "panel/panel_audio.h"
#include "panel/panel_look.h"
#include "panel/synth_panel.h"
#include "patch/jack_number.h"
#include "resources/artwork.h"

namespace voltina {

PictureButton::PictureButton(int ctrlId, SynthPanel& panel, QWidget* parent)
    : QPushButton(parent), panel_(panel), ctrlId_(ctrlId) {
    setFlat(true);
    setMouseTracking(true);
    setObjectName(QStringLiteral("ctl%1").arg(ctrlId));
    if (JackNumber::of(ctrlId_).isJack()) setCursor(plugCursor(qGuiApp->devicePixelRatio()));
}

void PictureButton::setLit(bool lit) {
    const bool changed = lit != lit_;
    lit_ = lit;
    repaint();
    if (!changed) return;
    // A jack's lamp goes with its cord, so its cord's words change with it.
    if (JackNumber::of(ctrlId_).isJack()) {
        announceDescriptionChange(this);
    } else {
        announceCheckedChange(this);
    }
}

bool PictureButton::toggle() {
    setLit(!lit_);
    return lit_;
}

void PictureButton::paintEvent(QPaintEvent* e) {
    QPushButton::paintEvent(e);
    renderSoundDueDuringPaint(panel_.audio());
    const int id = bitmapIdFor(ctrlId_, lit_ ? 1 : 0);
    const QPixmap& picture = panel_.bitmaps().get(id);
    QPainter painter(this);
    if (!picture.isNull()) painter.drawPixmap(0, 0, picture);
    if (hasFocus()) paintFocusMark(painter, rect());
    paintedBitmap_ = id;
}

void PictureButton::mouseMoveEvent(QMouseEvent* e) {
    CordEditor* cords = panel_.cordEditor();
    if (cords && cords->heldCord() != HeldCord::None) {
        const QPoint p = mapTo(&panel_, e->position().toPoint());
        cords->moveBand(p.x(), p.y() - kBandLift, 0);
    }
    QPushButton::mouseMoveEvent(e);
}

}  // namespace voltina
