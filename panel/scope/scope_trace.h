#pragma once
// The scope's screen: one jack's values over the time span, between the edges of what its kind can carry.
// GUI thread only.

#include <QString>
#include <QWidget>
#include <vector>

#include "audio/signal_readings.h"

namespace voltina {

class ScopeTrace : public QWidget {
    Q_OBJECT
  public:
    explicit ScopeTrace(QWidget* parent);

    // The values to draw, oldest first, spread over the whole width; `spanText` labels the time axis.
    void show(const float* values, std::size_t count, ValueRange range, const QString& spanText);

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    std::vector<float> values_;
    ValueRange range_{-127, 127};
    QString spanText_;
};

}  // namespace voltina
