#include "midi/midi_delivery.h"

#include <QCoreApplication>
#include <QEvent>

namespace voltina {

namespace {

// Registered once; the number Qt hands out does not clash with any other custom event of the program.
QEvent::Type wakeEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

MidiDelivery::MidiDelivery(std::function<void(std::uint32_t)> onMidiData, QObject* parent)
    : QObject(parent), onMidiData_(std::move(onMidiData)) {
    wakeEventType();  // registered on the GUI thread, before any MIDI thread asks for it
}

MidiDelivery::~MidiDelivery() {
    // Taking the mutex orders this destruction (and Qt's disposal of a wake-up event still queued)
    // after the MIDI thread's last post.
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.clear();
}

void MidiDelivery::post(std::uint32_t packed) {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.push_back(packed);
    if (wakePosted_) return;  // the GUI thread has not emptied the queue yet: it will take this one too
    wakePosted_ = true;
    // Posted under the mutex, so the event is made before the GUI thread can take the queue: Qt frees
    // it on the GUI thread after customEvent has locked the mutex.
    QCoreApplication::postEvent(this, new QEvent(wakeEventType()));
}

MidiConsumer MidiDelivery::consumer() {
    return [this](std::uint32_t packed) { post(packed); };
}

void MidiDelivery::customEvent(QEvent* /*event*/) {
    // Only the wake-up event is ever posted to this object. The messages are taken one at a time, the
    // handler running outside the lock: a handler that spins a nested event loop then cannot reorder
    // them, and the MIDI thread is never held up by the GUI thread's work.
    for (;;) {
        std::uint32_t packed = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (waiting_.empty()) {
                wakePosted_ = false;
                return;
            }
            packed = waiting_.front();
            waiting_.pop_front();
        }
        if (onMidiData_) onMidiData_(packed);
    }
}

}  // namespace voltina
