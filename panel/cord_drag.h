#pragma once
// A cord dragged from one jack to another: press on a jack, move off it (its end is then in hand, as
// after a click, and the band follows the mouse), release on the other jack. The two ends reach the panel
// as the two clicks that make the same cord, so the cord is one step of the history either way.
// GUI thread only.

#include <QObject>
#include <QPointer>
#include <map>

class QWidget;

namespace voltina {

class SynthPanel;

class CordDrag : public QObject {
  public:
    explicit CordDrag(SynthPanel& panel);
    void watch(QWidget* jack, int id);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The jack under a point of the panel; null when there is none.
    QWidget* jackAt(const QPoint& panelPoint, int& id) const;

    SynthPanel& panel_;
    std::map<QObject*, int> jacks_;
    QPointer<QWidget> pressed_;
    bool dragging_ = false;
};

}  // namespace voltina
