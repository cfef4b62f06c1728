#include "media/midi_delivery.h"

#include <QCoreApplication>
#include <QEvent>

namespace voltina {

namespace {

// Registered once; the number Qt hands out does not clash with any other custom event of the program.
QEvent::Type midiDataEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class MidiDataEvent final : public QEvent {
public:
    explicit MidiDataEvent(std::uint32_t packed) : QEvent(midiDataEventType()), packed_(packed) {}
    std::uint32_t packed() const { return packed_; }

private:
    std::uint32_t packed_;
};

}  // namespace

MidiDelivery::MidiDelivery(std::function<void(std::uint32_t)> onMidiData, QObject* parent)
    : QObject(parent), onMidiData_(std::move(onMidiData)) {
    midiDataEventType();  // registered on the GUI thread, before any MIDI thread asks for it
}

void MidiDelivery::post(std::uint32_t packed) {
    // Qt takes the event and frees it after delivery (or with this object).
    QCoreApplication::postEvent(this, new MidiDataEvent(packed));
}

MidiConsumer MidiDelivery::consumer() {
    return [this](std::uint32_t packed) { post(packed); };
}

void MidiDelivery::customEvent(QEvent* event) {
    if (event->type() != midiDataEventType()) return;
    if (onMidiData_) onMidiData_(static_cast<MidiDataEvent*>(event)->packed());
}

}  // namespace voltina
