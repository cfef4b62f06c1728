#pragma once
// The panel's look: its face with the module sections, the font, and the plain buttons' styles.

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

}  // namespace voltina
