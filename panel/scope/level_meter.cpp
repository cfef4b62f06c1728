#include "panel/scope/level_meter.h"

#include <QPainter>
#include <algorithm>

namespace voltina {

namespace {
constexpr int kReadMs = 100;
constexpr int kReadingsPerWords = 10;  // a second
constexpr int kClipHoldReadings = 20;  // the lamp stays lit two seconds, long enough to be seen
// A bar falls back by this much of full scale per reading, as a needle would.
constexpr int kFall = 12;
const QColor kBarColour(0x4c, 0xc8, 0x5a);
const QColor kLoudColour(0xf0, 0xc0, 0x30);
const QColor kClipColour(0xf0, 0x40, 0x30);
const QColor kTrough(0x20, 0x20, 0x20);
}  // namespace

LevelMeter::LevelMeter(OutputLevel& level, QWidget* parent) : QWidget(parent), level_(level) {
    setObjectName(QStringLiteral("levelMeter"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setToolTip(QStringLiteral("Output level, left and right; red when the mix clips"));
    setAccessibleName(QStringLiteral("Output level"));
    setAccessibleDescription(QString::fromStdString(levelWords(0, 0, false)));
    timer_.setInterval(kReadMs);
    connect(&timer_, &QTimer::timeout, this, &LevelMeter::readLevel);
    timer_.start();
}

void LevelMeter::readLevel() {
    const LevelPeaks peaks = level_.takePeaks();
    const int now[2] = {peaks.left, peaks.right};
    bool changed = false;
    for (int side = 0; side < 2; ++side) {
        const int bar = std::max(now[side], shown_[side] - kFall);
        changed = changed || bar != shown_[side];
        shown_[side] = bar;
        loudest_[side] = std::max(loudest_[side], now[side]);
    }
    const bool wasLit = clipHold_ > 0;
    clipHold_ = peaks.clipped ? kClipHoldReadings : std::max(0, clipHold_ - 1);
    clippedSince_ = clippedSince_ || peaks.clipped;
    if (changed || wasLit != (clipHold_ > 0)) update();

    if (++readingsSinceWords_ < kReadingsPerWords) return;
    const QString words = QString::fromStdString(
        levelWords(levelPercent(loudest_[0]), levelPercent(loudest_[1]), clippedSince_));
    if (words != accessibleDescription()) setAccessibleDescription(words);
    readingsSinceWords_ = 0;
    loudest_[0] = loudest_[1] = 0;
    clippedSince_ = false;
}

void LevelMeter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int lamp = height();
    const QRect bars = rect().adjusted(0, 0, -lamp - 2, 0);
    const int barHeight = (bars.height() - 1) / 2;
    for (int side = 0; side < 2; ++side) {
        const QRect trough(bars.left(), bars.top() + side * (barHeight + 1), bars.width(), barHeight);
        p.fillRect(trough, kTrough);
        const int filled = trough.width() * shown_[side] / 127;
        // The last tenth before the edge in another colour: close to clipping.
        const int loudFrom = trough.width() * 9 / 10;
        p.fillRect(QRect(trough.left(), trough.top(), std::min(filled, loudFrom), barHeight), kBarColour);
        if (filled > loudFrom)
            p.fillRect(QRect(trough.left() + loudFrom, trough.top(), filled - loudFrom, barHeight),
                       kLoudColour);
    }
    p.fillRect(QRect(bars.right() + 3, 0, lamp - 1, height()), clipHold_ > 0 ? kClipColour : kTrough);
}

}  // namespace voltina
