#include "app/application.h"

#include <QAbstractEventDispatcher>
#include <QEvent>

#include "dialogs/dialog_context.h"
#include "voltina_version.h"

namespace voltina {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Voltina"));
    setApplicationVersion(QStringLiteral(VOLTINA_VERSION));
    // The loop waits when it has nothing to do (a spinning idle loop would burn a whole core); the sound
    // timer already calls the gate every 10 ms, and this covers the moment the loop goes idle.
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance()) {
        connect(d, &QAbstractEventDispatcher::aboutToBlock, this, [] { callRenderGate(); });
    }
}

bool Application::notify(QObject* receiver, QEvent* event) {
    // The sound timer's own events reach the gate through the timer's handler.
    if (event->type() != QEvent::Timer) callRenderGate();
    return QApplication::notify(receiver, event);
}

}  // namespace voltina
