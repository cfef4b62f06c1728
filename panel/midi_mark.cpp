#include "panel/midi_mark.h"

#include <QPainter>

namespace voltina {

namespace {
const QColor kLitColour(0xff, 0xc4, 0x00);
const QColor kDarkColour(0x4a, 0x3a, 0x10);
}  // namespace

MidiMark::MidiMark(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("midiMark"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setToolTip(QStringLiteral("Lights while a MIDI key is held"));
    setAccessibleName(QStringLiteral("MIDI keyboard"));
    setAccessibleDescription(QStringLiteral("no key held"));
}

void MidiMark::setLit(bool lit) {
    if (lit == lit_) return;
    lit_ = lit;
    setAccessibleDescription(lit ? QStringLiteral("a key is held") : QStringLiteral("no key held"));
    update();
}

void MidiMark::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(lit_ ? kLitColour : kDarkColour);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

}  // namespace voltina
