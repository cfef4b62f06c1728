#pragma once
// Carries MIDI messages from the MIDI library's thread to the GUI thread, so that the engine state is only
// ever touched on the GUI thread, between two of its events (never in the middle of a render), in the
// order the messages arrived.
//
// On JACK the MIDI library calls post() on JACK's process thread, which must never wait: post() neither
// locks nor allocates. The messages wait in a fixed-size single-producer/single-consumer queue (one MIDI
// thread posts, the GUI thread takes); when it is full the newest message overwrites the oldest, which is
// counted as dropped. The wake-up is an atomic "wake pending" flag: only the post that raises it writes
// to an eventfd (non-blocking, a counter in the kernel: it never waits and never allocates), which a
// socket notifier on the GUI thread turns into a drain of the queue.

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "midi/midi_input.h"

class QSocketNotifier;

namespace voltina {

class MidiDelivery final : public QObject {
  public:
    // Messages the queue holds before the oldest is overwritten: several seconds of a busy keyboard.
    static constexpr std::uint32_t kQueueLength = 1024;
    // Messages one drain applies at most before it lets the GUI thread's other events (the sound's
    // render among them) have their turn.
    static constexpr std::uint32_t kDrainBatch = 64;

    // GUI thread: the handler (the panel's onMidiData) will run on the thread that creates this object.
    explicit MidiDelivery(std::function<void(std::uint32_t packed)> onMidiData, QObject* parent = nullptr);
    // GUI thread, after the MIDI input is closed. Messages still waiting are discarded.
    ~MidiDelivery() override;

    // One producer thread at a time: queues one packed message for the handler. Never waits, never
    // allocates.
    void post(std::uint32_t packed);

    // GUI thread: a consumer for MidiInput::open() that posts here. The input must be closed before
    // this object is destroyed.
    MidiConsumer consumer();

    // GUI thread: applies the waiting messages, oldest first, up to kDrainBatch of them; with more
    // waiting it wakes itself again (the wake-up calls it).
    void drain();
    // GUI thread: messages overwritten in a full queue before the GUI thread could take them.
    std::uint64_t droppedMessages() const { return dropped_; }

  private:
    // Any thread: the GUI thread drains at its next turn, unless a wake-up is pending already.
    void wake();

    std::function<void(std::uint32_t)> onMidiData_;

    // Slot i % kQueueLength holds message i as (i mod 2^32) << 32 | packed, so the consumer can tell a
    // slot the producer has already overwritten with a newer message.
    std::unique_ptr<std::atomic<std::uint64_t>[]> slots_;
    std::atomic<std::uint64_t> head_{0};  // messages posted (written by the producer only)
    std::uint64_t tail_ = 0;              // messages taken or dropped (GUI thread only)
    std::uint64_t dropped_ = 0;           // GUI thread only
    std::atomic<bool> wakePending_{false};
    int wakeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace voltina
