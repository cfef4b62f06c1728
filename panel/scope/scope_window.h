#pragma once
// The scope: a small window beside the panel that draws the signal of one jack as it plays, over a time
// span the musician chooses, with readouts of its lowest and highest value and, where it repeats, its
// frequency. The readouts are labels a screen reader reads, changed at most once a second.
// GUI thread only.

#include <QTimer>
#include <QWidget>
#include <vector>

#include "audio/signal_watch.h"

class QComboBox;
class QLabel;

namespace voltina {

class ScopeTrace;

class ScopeWindow : public QWidget {
    Q_OBJECT
  public:
    // `watch` is fed by the render and outlives the window; `state` says what is plugged where.
    ScopeWindow(SignalWatch& watch, const EngineState& state, QWidget* parent);

    // Points the scope at a jack (301..332, 401..432) and shows it.
    void showJack(int jackId);
    int jack() const { return jackId_; }

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    void drawTrace();
    void updateReadouts();
    int spanFrames() const;

    SignalWatch& watch_;
    const EngineState& state_;
    int jackId_ = 0;
    ScopeTrace* trace_ = nullptr;
    QComboBox* span_ = nullptr;
    QLabel* jackLabel_ = nullptr;
    QLabel* rangeLabel_ = nullptr;
    QLabel* minimumLabel_ = nullptr;
    QLabel* maximumLabel_ = nullptr;
    QLabel* frequencyLabel_ = nullptr;
    QTimer drawTimer_;
    QTimer readoutTimer_;
    std::vector<float> values_;
    std::uint64_t drawnUpTo_ = ~std::uint64_t{0};
};

}  // namespace voltina
