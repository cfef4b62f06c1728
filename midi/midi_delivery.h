#pragma once
// Carries MIDI messages from the MIDI library's thread to the GUI thread as queued events, so that the
// engine state is only ever touched on the GUI thread, between two of its events (never in the middle
// of a render), in the order the messages arrived.
//
// The messages wait in a queue under a mutex; the MIDI thread posts one wake-up event when the queue
// stops being empty, and the GUI thread empties the whole queue when the event arrives. The mutex, not
// Qt's own locking, orders the two threads, so ThreadSanitizer can follow every hand-over.

#include <QObject>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "midi/midi_input.h"

namespace voltina {

class MidiDelivery final : public QObject {
  public:
    // GUI thread: the handler (the panel's onMidiData) will run on the thread that creates this object.
    explicit MidiDelivery(std::function<void(std::uint32_t packed)> onMidiData, QObject* parent = nullptr);
    // GUI thread, after the MIDI input is closed. Messages still waiting are discarded.
    ~MidiDelivery() override;

    // Any thread: queues one packed message for the handler. Never waits for the GUI thread.
    void post(std::uint32_t packed);

    // GUI thread: a consumer for MidiInput::open() that posts here. The input must be closed before
    // this object is destroyed.
    MidiConsumer consumer();

  protected:
    // GUI thread: the wake-up event. Applies every waiting message, oldest first.
    void customEvent(QEvent* event) override;

  private:
    std::function<void(std::uint32_t)> onMidiData_;

    std::mutex mutex_;  // guards the two members below
    std::deque<std::uint32_t> waiting_;
    bool wakePosted_ = false;
};

}  // namespace voltina
