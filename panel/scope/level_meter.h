#pragma once
// The panel's output level meter: a bar for the left and one for the right, and a lamp that lights when
// the mix clips at the 8-bit edges. A screen reader hears it as its description ("left 62 %, right 60 %"),
// changed at most once a second.
// GUI thread only.

#include <QTimer>
#include <QWidget>

#include "audio/output_level.h"

namespace voltina {

class LevelMeter : public QWidget {
    Q_OBJECT
  public:
    // `level` is fed by the render and outlives the meter.
    LevelMeter(OutputLevel& level, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    void readLevel();

    OutputLevel& level_;
    QTimer timer_;
    int shown_[2] = {0, 0};  // the bars, 0..127
    int clipHold_ = 0;       // readings left before the clip lamp goes out
    // The loudest of the readings since the words last changed.
    int loudest_[2] = {0, 0};
    bool clippedSince_ = false;
    int readingsSinceWords_ = 0;
};

}  // namespace voltina
