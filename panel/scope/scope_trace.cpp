#include "panel/scope/scope_trace.h"

#include <QPainter>
#include <algorithm>

namespace voltina {

namespace {
const QColor kScreen(0x10, 0x18, 0x12);
const QColor kGrid(0x2c, 0x44, 0x32);
const QColor kTraceColour(0x6c, 0xf0, 0x7a);
const QColor kLabel(0xa8, 0xc8, 0xb0);
constexpr int kMargin = 30;  // room for the edge values on the left
}  // namespace

ScopeTrace::ScopeTrace(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("scopeTrace"));
    setMinimumSize(360, 180);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Trace"));
}

void ScopeTrace::show(const float* values, std::size_t count, ValueRange range, const QString& spanText) {
    values_.assign(values, values + count);
    range_ = range;
    spanText_ = spanText;
    update();
}

void ScopeTrace::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kScreen);
    const QRect screen = rect().adjusted(kMargin, 8, -6, -18);
    const double low = range_.low;
    const double high = range_.high;
    const auto yOf = [&](double v) {
        const double t = (std::clamp(v, low, high) - low) / (high - low);
        return screen.bottom() - t * screen.height();
    };

    p.setPen(kGrid);
    for (int k = 0; k <= 10; ++k) {
        const int x = screen.left() + k * screen.width() / 10;
        p.drawLine(x, screen.top(), x, screen.bottom());
    }
    p.setPen(kLabel);
    const QFontMetrics fm(font());
    for (int v : {range_.low, 0, range_.high}) {
        const int y = static_cast<int>(yOf(v));
        p.setPen(v == 0 ? kLabel : kGrid);
        p.drawLine(screen.left(), y, screen.right(), y);
        p.setPen(kLabel);
        p.drawText(QRect(0, y - fm.height() / 2, kMargin - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v));
    }
    p.drawText(QRect(screen.left(), screen.bottom() + 2, screen.width(), fm.height()), Qt::AlignRight,
               spanText_);

    const std::size_t n = values_.size();
    if (n < 2) return;
    p.setPen(kTraceColour);
    const int width = screen.width();
    if (n <= static_cast<std::size_t>(2 * width)) {
        std::vector<QPointF> points(n);
        for (std::size_t i = 0; i < n; ++i)
            points[i] = QPointF(screen.left() + static_cast<double>(i) * width / static_cast<double>(n - 1),
                                yOf(values_[i]));
        p.drawPolyline(points.data(), static_cast<int>(n));
        return;
    }
    // More values than pixels: each column shows the lowest and highest of its share, joined to the last.
    double lastY = yOf(values_[0]);
    for (int x = 0; x < width; ++x) {
        const std::size_t from = n * static_cast<std::size_t>(x) / static_cast<std::size_t>(width);
        const std::size_t to = n * static_cast<std::size_t>(x + 1) / static_cast<std::size_t>(width);
        const auto [lo, hi] =
            std::minmax_element(values_.begin() + static_cast<long>(from),
                                values_.begin() + static_cast<long>(std::max(to, from + 1)));
        const double top = std::min(yOf(*hi), lastY);
        const double bottom = std::max(yOf(*lo), lastY);
        p.drawLine(QPointF(screen.left() + x, top), QPointF(screen.left() + x, bottom));
        lastY = yOf(values_[std::max(to, from + 1) - 1]);
    }
}

}  // namespace voltina
