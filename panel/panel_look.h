#pragma once
// The panel's look: its face with the module sections, the font, and the plain buttons' styles.

#include <QColor>
#include <QFont>
#include <QRect>

class QLabel;
class QPainter;
class QPushButton;

namespace voltina {

QFont panelFont();
void styleTemplateButton(QPushButton* button, int ctrlId);
void styleValueTip(QLabel* tip);
void paintPanelFace(QPainter& painter, const QRect& area);
// The mark of the control that Space and Enter operate: a ring just inside `area`, over the picture.
void paintFocusMark(QPainter& painter, const QRect& area);
// The colour of that ring, for checks.
extern const QColor kFocusMarkColour;

}  // namespace voltina
