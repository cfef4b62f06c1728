#include "panel/panel_look.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "resources/dialog_units.h"
#include "resources/panel_template.h"

namespace voltina {
namespace {

// Sections have the artwork's own background, so the pictures sit in them without seams.
const QColor kPanel(0xb2, 0xb8, 0xc0);
const QColor kSection(0xc6, 0xcb, 0xd1);
const QColor kSectionEdge(0x8e, 0x96, 0xa0);

QRectF dluSection(int x0, int y0, int x1, int y1) {
    return QRectF(dluToPixelsX(x0) + 0.5, dluToPixelsY(y0) + 0.5, dluToPixelsX(x1) - dluToPixelsX(x0),
                  dluToPixelsY(y1) - dluToPixelsY(y0));
}

}  // namespace

QFont panelFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(10);
    return font;
}

void styleTemplateButton(QPushButton* button, int id) {
    if (id >= ctl::kOscFreqButton && id < ctl::kOscFreqButton + 8) {
        // The frequency read-out: a small display that opens the entry dialog when clicked.
        button->setStyleSheet(
            QStringLiteral("QPushButton { background: #1d2228; color: #8df0a8; border: 1px solid #0c0f12; "
                           "border-radius: 2px;"
                           " padding: 0px; font: bold 10px 'DejaVu Sans Mono'; }"
                           "QPushButton:pressed { background: #2c343c; }"));
    } else if (id >= ctl::kFirstCaption && id <= ctl::kLastCaption) {
        button->setStyleSheet(QStringLiteral(
            "QPushButton { background: transparent; color: #2b313b; border: none; padding: 0px;"
            " font: bold 10px 'DejaVu Sans'; }"));
    } else {
        button->setStyleSheet(
            QStringLiteral("QPushButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 "
                           "#eef1f4, stop:1 #aeb5be);"
                           " color: #1b1e23; border: 1px solid #4a515b; border-radius: 3px; padding: 0px;"
                           " font: bold 10px 'DejaVu Sans'; }"
                           "QPushButton:pressed { background: #9aa2ac; }"));
    }
}

void styleValueTip(QLabel* tip) {
    tip->setStyleSheet(
        QStringLiteral("QLabel { background: #fffbe6; color: #1b1e23; border: 1px solid #1b1e23; font: bold "
                       "10px 'DejaVu Sans'; }"));
}

const QColor kFocusMarkColour(0xff, 0xc4, 0x00);

void paintFocusMark(QPainter& painter, const QRect& area) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    // Amber on a dark edge: seen on the light panel and on the dark pictures alike.
    painter.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    painter.setPen(QPen(kFocusMarkColour, 2));
    painter.drawRect(area.adjusted(2, 2, -2, -2));
    painter.restore();
}

void paintPanelFace(QPainter& painter, const QRect& area) {
    painter.fillRect(area, kPanel);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kSectionEdge, 1));
    painter.setBrush(kSection);
    // Oscillators, the two upper groups, the mixer, the two lower groups with MIDI between them, and
    // the centre strip with Sync, Wave and H.P.
    const QRectF sections[] = {
        dluSection(4, 0, 70, 269),      dluSection(97, 0, 178, 100),    dluSection(206, 0, 287, 100),
        dluSection(309, 0, 362, 269),   dluSection(97, 151, 178, 250),  dluSection(206, 151, 287, 250),
        dluSection(179, 151, 205, 250), dluSection(120, 103, 264, 141),
    };
    for (const QRectF& r : sections) painter.drawRoundedRect(r, 4, 4);
    // A thin rule between oscillator rows helps the eye find which knob goes with which jacks.
    painter.setPen(QPen(kSectionEdge, 1));
    for (int k = 1; k < 8; ++k) {
        const qreal y = dluToPixelsY(12 + 32 * k) - 4.5;
        painter.drawLine(QPointF(dluToPixelsX(8), y), QPointF(dluToPixelsX(67), y));
        painter.drawLine(QPointF(dluToPixelsX(312), y), QPointF(dluToPixelsX(359), y));
    }
}

}  // namespace voltina
