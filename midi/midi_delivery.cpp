#include "midi/midi_delivery.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace voltina {

namespace {
constexpr std::uint64_t kEmptySlot = ~std::uint64_t{0};

std::uint64_t slotValue(std::uint64_t index, std::uint32_t packed) {
    return (index & 0xFFFFFFFFu) << 32 | packed;
}
}  // namespace

MidiDelivery::MidiDelivery(std::function<void(std::uint32_t)> onMidiData, QObject* parent)
    : QObject(parent),
      onMidiData_(std::move(onMidiData)),
      slots_(new std::atomic<std::uint64_t>[kQueueLength]) {
    for (std::uint32_t i = 0; i < kQueueLength; ++i) slots_[i].store(kEmptySlot, std::memory_order_relaxed);
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ >= 0) {
        notifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
        QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] {
            std::uint64_t count = 0;
            while (::read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
            }
            drain();
        });
    }
}

MidiDelivery::~MidiDelivery() {
    delete notifier_;
    notifier_ = nullptr;
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void MidiDelivery::post(std::uint32_t packed) {
    const std::uint64_t index = head_.load(std::memory_order_relaxed);
    slots_[index % kQueueLength].store(slotValue(index, packed), std::memory_order_release);
    head_.store(index + 1, std::memory_order_release);
    wake();
}

void MidiDelivery::wake() {
    // Only the post that raises the flag wakes the GUI thread; the drain lowers it before it reads.
    if (!wakePending_.exchange(true, std::memory_order_acq_rel) && wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        // A full eventfd counter (never reached: one write per drain) would only mean a wake-up is
        // already pending.
        while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

MidiConsumer MidiDelivery::consumer() {
    return [this](std::uint32_t packed) { post(packed); };
}

void MidiDelivery::drain() {
    wakePending_.store(false, std::memory_order_seq_cst);
    // The messages are taken one at a time and tail_ moves on before the handler runs: a handler that
    // spins a nested event loop (and so a nested drain) cannot apply one twice or reorder them.
    for (std::uint32_t taken = 0;; ++taken) {
        const std::uint64_t head = head_.load(std::memory_order_acquire);
        if (tail_ == head) return;
        if (taken == kDrainBatch) {
            // A flood (a controller swept fast, a stream gone wild) would hold the GUI thread here for
            // good, and with it the sound it renders: the rest waits for the next turn of the event loop.
            wake();
            return;
        }
        if (head - tail_ > kQueueLength) {
            dropped_ += head - kQueueLength - tail_;
            tail_ = head - kQueueLength;
        }
        const std::uint64_t value = slots_[tail_ % kQueueLength].load(std::memory_order_acquire);
        const std::uint64_t index = tail_++;
        if (value >> 32 != (index & 0xFFFFFFFFu)) {
            ++dropped_;  // overwritten by a newer message since head was read
            continue;
        }
        if (onMidiData_) onMidiData_(static_cast<std::uint32_t>(value & 0xFFFFFFFFu));
    }
}

}  // namespace voltina
