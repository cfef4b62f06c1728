#pragma once
// The main window: the menu bar over the panel, fixed to their size, with no maximize button.

#include <QMainWindow>
#include <map>

class QAction;

namespace voltina {

class SynthPanel;

class FrameWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Takes the panel as its client; the panel goes with the window.
    explicit FrameWindow(SynthPanel* panel);

    SynthPanel* panel() const { return panel_; }
    QAction* menuAction(int id) const;

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    void buildMenu();
    // The Edit menu's items as the panel's history stands.
    void showHistory();

    SynthPanel* panel_;
    std::map<int, QAction*> actions_;
};

}  // namespace voltina
