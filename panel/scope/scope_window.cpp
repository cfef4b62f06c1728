#include "panel/scope/scope_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "audio/signal_readings.h"
#include "engine/frequency_text.h"
#include "panel/accessibility/control_names.h"
#include "panel/patch_bay.h"
#include "panel/scope/scope_trace.h"
#include "patch/jack_number.h"

namespace voltina {

namespace {

// The time spans offered, in milliseconds; the third is where the scope starts.
constexpr int kSpansMs[] = {5, 10, 20, 50, 100, 200, 500, 1000, 2000, 4000};
constexpr int kFirstSpan = 2;
static_assert(kSpansMs[std::size(kSpansMs) - 1] <= 1000 * SignalWatch::kCaptureSeconds,
              "the capture holds the longest span");
// Drawing pace, and the readouts' pace: slow enough for a screen reader to finish saying one.
constexpr int kDrawMs = 100;
constexpr int kReadoutMs = 1000;
// The frequency is read over the shortest of these stretches that shows it repeat, so a change shows soon
// and a slow signal is still read.
constexpr double kFrequencySeconds[] = {0.25, 1.0, SignalWatch::kCaptureSeconds};

QString spanText(int ms) {
    return ms < 1000 ? QStringLiteral("%1 ms").arg(ms) : QStringLiteral("%1 s").arg(ms / 1000.0);
}

QString valueText(float v) {
    return QString::number(static_cast<double>(v), 'f', 1);
}

}  // namespace

ScopeWindow::ScopeWindow(SignalWatch& watch, const EngineState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), watch_(watch), state_(state) {
    setObjectName(QStringLiteral("scope"));
    setWindowTitle(QStringLiteral("Scope"));
    trace_ = new ScopeTrace(this);
    span_ = new QComboBox(this);
    span_->setAccessibleName(QStringLiteral("Time span"));
    for (int ms : kSpansMs) span_->addItem(spanText(ms));
    span_->setCurrentIndex(kFirstSpan);
    connect(span_, &QComboBox::currentIndexChanged, this, [this] {
        drawnUpTo_ = ~std::uint64_t{0};
        drawTrace();
        updateReadouts();
    });
    auto makeLabel = [this](const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromUtf8(name));
        label->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        label->setFocusPolicy(Qt::StrongFocus);  // so Tab brings a reader to each readout
        return label;
    };
    jackLabel_ = makeLabel("scopeJack");
    rangeLabel_ = makeLabel("scopeRange");
    minimumLabel_ = makeLabel("scopeMinimum");
    maximumLabel_ = makeLabel("scopeMaximum");
    frequencyLabel_ = makeLabel("scopeFrequency");

    auto* readouts = new QGridLayout;
    readouts->addWidget(jackLabel_, 0, 0, 1, 2);
    readouts->addWidget(minimumLabel_, 1, 0);
    readouts->addWidget(maximumLabel_, 1, 1);
    readouts->addWidget(frequencyLabel_, 2, 0);
    readouts->addWidget(rangeLabel_, 2, 1);
    auto* spanLabel = new QLabel(QStringLiteral("&Time span"), this);
    spanLabel->setBuddy(span_);
    readouts->addWidget(spanLabel, 3, 0, Qt::AlignRight);
    readouts->addWidget(span_, 3, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(trace_, 1);
    layout->addLayout(readouts);

    drawTimer_.setInterval(kDrawMs);
    connect(&drawTimer_, &QTimer::timeout, this, &ScopeWindow::drawTrace);
    readoutTimer_.setInterval(kReadoutMs);
    connect(&readoutTimer_, &QTimer::timeout, this, &ScopeWindow::updateReadouts);
}

void ScopeWindow::showJack(int jackId) {
    const JackNumber jack = JackNumber::of(jackId);
    if (!jack.isJack()) return;
    jackId_ = jackId;
    if (jack.isOutput())
        watch_.capture().watchOutput(jack.index());
    else
        watch_.capture().watchInput(jack.index());
    setWindowTitle(QStringLiteral("Scope: ") + QString::fromStdString(jackName(jackId)));
    drawnUpTo_ = ~std::uint64_t{0};
    updateReadouts();
    drawTrace();
    show();
    raise();
}

int ScopeWindow::spanFrames() const {
    const int ms = kSpansMs[std::clamp(span_->currentIndex(), 0, static_cast<int>(std::size(kSpansMs)) - 1)];
    return std::max(2, static_cast<int>(static_cast<long long>(watch_.capture().sampleRate()) * ms / 1000));
}

void ScopeWindow::drawTrace() {
    const JackCapture& capture = watch_.capture();
    if (capture.taken() == drawnUpTo_) return;  // nothing new: the screen already shows it
    drawnUpTo_ = capture.taken();
    const std::size_t span = static_cast<std::size_t>(spanFrames());
    // Twice the span, so the trace can start where the signal rises and a repeating one stands still.
    const std::size_t count = std::min(2 * span, capture.held());
    values_.resize(count);
    capture.copyNewest(values_.data(), count);
    const std::size_t start = traceStart(values_.data(), count, span);
    trace_->show(values_.data() + start, std::min(span, count - start), outputValueRange(capture.source()),
                 span_->currentText());
}

void ScopeWindow::updateReadouts() {
    const JackCapture& capture = watch_.capture();
    const auto setText = [](QLabel* label, const QString& text) {
        if (label->text() != text) label->setText(text);  // a reader hears a change, not a repeat
    };
    // A free output stays still: the engine computes only what is heard, which the words say.
    const QString where = QString::fromStdString(jackName(jackId_) + ", " + cordDescription(jackId_, state_));
    setText(jackLabel_, where);
    const ValueRange range = outputValueRange(capture.source());
    setText(rangeLabel_, QStringLiteral("Range %1 to %2").arg(range.low).arg(range.high));

    const std::size_t span = std::min(static_cast<std::size_t>(spanFrames()), capture.held());
    if (span == 0) {
        setText(minimumLabel_, QStringLiteral("Minimum: no signal"));
        setText(maximumLabel_, QStringLiteral("Maximum: no signal"));
        setText(frequencyLabel_, QStringLiteral("Frequency: no signal"));
        return;
    }
    values_.resize(capture.held());
    capture.copyNewest(values_.data(), values_.size());
    const SignalReading shown = readExtremes(values_.data() + values_.size() - span, span);
    setText(minimumLabel_, QStringLiteral("Minimum ") + valueText(shown.minimum));
    setText(maximumLabel_, QStringLiteral("Maximum ") + valueText(shown.maximum));
    double frequency = 0.0;
    for (double seconds : kFrequencySeconds) {
        const std::size_t n =
            std::min(values_.size(), static_cast<std::size_t>(seconds * capture.sampleRate()));
        frequency = repeatFrequency(values_.data() + values_.size() - n, n, capture.sampleRate());
        if (frequency > 0.0 || n == values_.size()) break;
    }
    setText(frequencyLabel_,
            frequency > 0.0 ? QStringLiteral("Frequency %1 Hz")
                                  .arg(QString::fromStdString(formatFrequency(static_cast<float>(frequency))))
                            : QStringLiteral("Frequency: does not repeat"));
}

void ScopeWindow::showEvent(QShowEvent* e) {
    watch_.setScopeOpen(true);
    drawTimer_.start();
    readoutTimer_.start();
    QWidget::showEvent(e);
}

void ScopeWindow::hideEvent(QHideEvent* e) {
    watch_.setScopeOpen(false);
    drawTimer_.stop();
    readoutTimer_.stop();
    QWidget::hideEvent(e);
}

}  // namespace voltina
