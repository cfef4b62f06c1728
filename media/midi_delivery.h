#pragma once
// Carries MIDI messages from the MIDI library's thread to the GUI thread as queued events, so that the
// engine state is only ever touched on the GUI thread, between two of its events (never in the middle
// of a render), in the order the messages arrived.

#include <QObject>
#include <cstdint>
#include <functional>

#include "media/midi_input.h"

namespace voltina {

class MidiDelivery final : public QObject {
public:
    // GUI thread: the handler (the panel's onMidiData) will run on the thread that creates this object.
    explicit MidiDelivery(std::function<void(std::uint32_t packed)> onMidiData, QObject* parent = nullptr);

    // Any thread: queues one packed message for the handler. Never waits for the GUI thread.
    void post(std::uint32_t packed);

    // GUI thread: a consumer for MidiInput::open() that posts here. The input must be closed before
    // this object is destroyed; messages still queued then are discarded with it.
    MidiConsumer consumer();

protected:
    void customEvent(QEvent* event) override;

private:
    std::function<void(std::uint32_t)> onMidiData_;
};

}  // namespace voltina
