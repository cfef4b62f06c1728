#pragma once
// The application: every event but timer events passes the render gate before it is delivered, and
// so does every pass through the idle point of the event loop.

#include <QApplication>

namespace voltina {

class Application : public QApplication {
    Q_OBJECT
  public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace voltina
