#include "panel/cord_overlay.h"

#include <QPaintEngine>
#include <QPainter>
#include <algorithm>

#include "panel/patch_bay.h"

namespace voltina {

namespace {

// One move-to/line-to segment in the painter's current fill: its pixels up to, not including, b.
void fillSegment(QPainter& painter, PanelPoint a, PanelPoint b, const QColor& colour) {
    if (a == b) return;
    if (a.y == b.y) {
        const int step = a.x < b.x ? 1 : -1;
        const int last = b.x - step;
        painter.fillRect(QRect(std::min(a.x, last), a.y, std::abs(last - a.x) + 1, 1), colour);
    } else if (a.x == b.x) {
        const int step = a.y < b.y ? 1 : -1;
        const int last = b.y - step;
        painter.fillRect(QRect(a.x, std::min(a.y, last), 1, std::abs(last - a.y) + 1), colour);
    } else {
        std::vector<PanelPoint> pixels;
        appendLinePixels(a, b, pixels);
        for (const PanelPoint& p : pixels) painter.fillRect(QRect(p.x, p.y, 1, 1), colour);
    }
}

}  // namespace

CordOverlay::CordOverlay(PatchBay& bay, QWidget* panel) : QWidget(panel), bay_(bay) {
    setObjectName(QStringLiteral("cordOverlay"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void CordOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // The routes are worked out again on every paint; while the cords are off nothing is drawn.
    const std::vector<CordPath> paths = bay_.cordPaths();
    if (!bay_.cordsErased()) {
        for (const CordPath& path : paths) {
            const QColor& colour = path.colour == CordColour::Green ? kGreenCord : kRedCord;
            for (std::size_t k = 1; k < path.polyline.size(); ++k) {
                fillSegment(painter, path.polyline[k - 1], path.polyline[k], colour);
            }
        }
    }
    if (bay_.bandShown()) {
        // XOR keeps the band visible over every colour of the panel, the cords included.
        if (painter.paintEngine()->hasFeature(QPaintEngine::RasterOpModes)) {
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        }
        fillSegment(painter, bay_.bandAnchor(), bay_.bandEnd(), kGreenCord);
    }
}

}  // namespace voltina
