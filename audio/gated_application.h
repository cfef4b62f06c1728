#pragma once
// The application whose event loop carries the render gate: every event but timer events passes the gate
// before it is delivered, and so does every pass through the idle point of the loop. The program's
// Application is one; the scheduling tests and the render gate's benchmark run inside one too, so they
// exercise the hooks the program runs on.
// GUI thread only.

#include <QApplication>
#include <functional>

namespace voltina {

class GatedApplication : public QApplication {
  public:
    GatedApplication(int& argc, char** argv);

    // What the loop calls; none by default. The sound timer's own events reach the gate through the
    // timer's handler, so the gate does not see timer events.
    void setGate(std::function<void()> gate) { gate_ = std::move(gate); }

    // The running application as a GatedApplication; null if there is none, or it is of another kind.
    static GatedApplication* gated();

    bool notify(QObject* receiver, QEvent* event) override;

  private:
    std::function<void()> gate_;
};

}  // namespace voltina
