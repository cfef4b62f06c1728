#include "audio/gated_application.h"

#include <QAbstractEventDispatcher>
#include <QEvent>

namespace voltina {

GatedApplication::GatedApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The loop waits when it has nothing to do (a spinning idle loop would burn a whole core); the sound
    // timer already calls the gate every 10 ms, and this covers the moment the loop goes idle.
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance()) {
        connect(d, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (gate_) gate_();
        });
    }
}

GatedApplication* GatedApplication::gated() {
    return dynamic_cast<GatedApplication*>(QCoreApplication::instance());
}

bool GatedApplication::notify(QObject* receiver, QEvent* event) {
    if (gate_ && event->type() != QEvent::Timer) gate_();
    return QApplication::notify(receiver, event);
}

}  // namespace voltina
