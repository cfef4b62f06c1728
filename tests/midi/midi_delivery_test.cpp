// The key logic as the program reaches it: packed messages posted from a thread that is not the GUI
// thread, applied to the engine state by the handler on the GUI thread.
#include "midi/midi_delivery.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "engine/defaults.h"
#include "engine/midi_keys.h"

namespace voltina {
namespace {

constexpr std::uint32_t noteOn(int note, int velocity = 100, int channel = 0) {
    return packMidi(0x90 | channel, note, velocity);
}
constexpr std::uint32_t noteOff(int note, int channel = 0) {
    return packMidi(0x80 | channel, note, 64);
}

class MidiDeliveryTest : public testing::Test {
  protected:
    void SetUp() override {
        delivery = std::make_unique<MidiDelivery>([this](std::uint32_t packed) {
            if (std::this_thread::get_id() != guiThread) ++offThread;
            onMidiMessage(s, packed);
            ++applied;
        });
    }

    // Posts the messages from a thread of their own, as the MIDI library does, while the GUI thread
    // runs its event loop, until all of them have been applied. A keyboard never gets a queue's length
    // ahead of the GUI thread, but a burst on a busy machine could, and a full queue drops messages (a
    // case tested on its own): the burst waits while half a queue is outstanding.
    void play(const std::vector<std::uint32_t>& messages) {
        const int start = applied.load();
        const int target = start + static_cast<int>(messages.size());
        MidiConsumer consumer = delivery->consumer();
        std::thread midiThread([&] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            for (std::size_t i = 0; i < messages.size(); ++i) {
                while (static_cast<int>(i) - (applied.load() - start) >=
                           int{MidiDelivery::kQueueLength / 2} &&
                       std::chrono::steady_clock::now() < deadline)
                    std::this_thread::yield();
                consumer(messages[i]);
                if (i % 16 == 15) std::this_thread::yield();  // let the GUI thread catch up mid-burst
            }
        });
        QElapsedTimer clock;
        clock.start();
        while (applied.load() < target && clock.elapsed() < 5000) QCoreApplication::processEvents();
        midiThread.join();
        ASSERT_EQ(applied.load(), target);
        EXPECT_EQ(delivery->droppedMessages(), 0u);
    }

    EngineState s;
    const std::thread::id guiThread = std::this_thread::get_id();
    std::atomic<int> applied{0};  // the handler's count, which the posting thread watches
    int offThread = 0;
    std::unique_ptr<MidiDelivery> delivery;
};

TEST_F(MidiDeliveryTest, NothingIsAppliedBeforeTheGuiThreadRunsItsEvents) {
    MidiConsumer consumer = delivery->consumer();
    std::thread midiThread([&] { consumer(noteOn(60)); });
    midiThread.join();
    EXPECT_EQ(s.midiNote, 0);  // posted, not applied: the MIDI thread never writes the engine state
    play({});
    QCoreApplication::processEvents();
    EXPECT_EQ(s.midiNote, 49);
    EXPECT_EQ(offThread, 0);
}

TEST_F(MidiDeliveryTest, LastNoteSoundsAndReleaseFallsBackToTheLowestHeldKey) {
    play({noteOn(60), noteOn(64)});
    EXPECT_EQ(s.midiNote, 53);
    EXPECT_FLOAT_EQ(s.midiFreq, 329.0f);
    play({noteOff(64)});
    EXPECT_EQ(s.midiNote, 49);  // 60 is still held
    EXPECT_FLOAT_EQ(s.midiFreq, 261.0f);

    play({noteOn(72), noteOn(64), noteOff(64)});
    EXPECT_EQ(s.midiNote, 49);  // the lowest held key (60), not 72 that sounded before 64
    play({noteOff(62)});        // a key that does not sound
    EXPECT_EQ(s.midiNote, 49);
    play({noteOff(60), noteOff(72)});
    EXPECT_EQ(s.midiNote, 0);
    EXPECT_FLOAT_EQ(s.midiFreq, 0.0f);
    EXPECT_EQ(offThread, 0);
}

TEST_F(MidiDeliveryTest, VelocityZeroReleasesAndOtherKindsAreIgnored) {
    s.outValue[kOutMidiSine] = 55.0f;
    play({noteOn(60)});
    EXPECT_EQ(s.outValue[kOutMidiSine], 0.0f);  // a note-on restarts the outputs from 0
    play({noteOn(60, 0)});
    EXPECT_EQ(s.midiNote, 0);
    EXPECT_EQ(s.noteDown[48], 0);
    play({noteOn(67), packMidi(0xB0, 67, 0), packMidi(0xA0, 67, 0), packMidi(0xE0, 0, 0),
          packMidi(0xC0, 1, 0)});
    EXPECT_EQ(s.midiNote, 56);
    EXPECT_EQ(s.noteDown[55], 1);
}

TEST_F(MidiDeliveryTest, NotesOutOfRangeAreClampedAndEveryChannelPlays) {
    play({noteOn(5)});
    EXPECT_EQ(s.midiNote, 1);
    EXPECT_FLOAT_EQ(s.midiFreq, 16.0f);
    play({noteOn(120, 100, 9)});  // channel 10
    EXPECT_EQ(s.midiNote, 96);
    EXPECT_FLOAT_EQ(s.midiFreq, 3951.0f);
    play({noteOff(120, 15), noteOff(5, 3)});
    EXPECT_EQ(s.midiNote, 0);

    // Two notes below 12 share index 0: releasing either releases it.
    play({noteOn(3), noteOn(7), noteOff(3)});
    EXPECT_EQ(s.midiNote, 0);
    EXPECT_EQ(s.noteDown[0], 0);
}

TEST_F(MidiDeliveryTest, PitchStepFollowsTheRate) {
    s.rateParam = 44101;
    play({noteOn(69)});
    EXPECT_EQ(s.midiNote, 58);
    EXPECT_FLOAT_EQ(s.midiStep, static_cast<float>(254.0 * 440.0 / 44101));
}

TEST_F(MidiDeliveryTest, ManyMessagesKeepTheirOrder) {
    // Each key is released right after the next one is pressed. In order, exactly one key is held at the
    // end and it is the last one; an off overtaking its on would leave that key held for good.
    std::vector<std::uint32_t> messages;
    int previous = -1;
    int key = 0;
    for (int i = 0; i < 600; ++i) {
        key = 24 + (i * 7) % 72;
        messages.push_back(noteOn(key));
        if (previous >= 0) messages.push_back(noteOff(previous));
        previous = key;
    }
    play(messages);
    EXPECT_EQ(s.midiNote, key - 12 + 1);
    int held = 0;
    for (int k = 0; k < kNoteCount; ++k) held += s.noteDown[k];
    EXPECT_EQ(held, 1);
    EXPECT_EQ(offThread, 0);
}

TEST_F(MidiDeliveryTest, MessagesStillQueuedGoWithTheDeliveryObject) {
    MidiConsumer consumer = delivery->consumer();
    std::thread midiThread([&] {
        for (int i = 0; i < 10; ++i) consumer(noteOn(60 + i));
    });
    midiThread.join();
    delivery.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(applied.load(), 0);
    EXPECT_EQ(s.midiNote, 0);
}

TEST_F(MidiDeliveryTest, AFullQueueDropsTheOldestMessagesAndCountsThem) {
    // The GUI thread is busy while the MIDI thread posts more than the queue holds: the newest messages
    // are kept, in order, and the overwritten ones are counted.
    std::vector<std::uint32_t> received;
    MidiDelivery lossy([&](std::uint32_t packed) { received.push_back(packed); });
    const std::uint32_t total = MidiDelivery::kQueueLength + 100;
    std::thread midiThread([&] {
        for (std::uint32_t i = 0; i < total; ++i) lossy.post(i);
    });
    midiThread.join();
    // A turn of the event loop takes a batch, no more: the GUI thread's other work (the sound's render
    // among it) comes between two batches of a flood.
    QCoreApplication::processEvents();
    EXPECT_LE(received.size(), std::size_t{MidiDelivery::kDrainBatch});
    QElapsedTimer clock;
    clock.start();
    while (received.size() < MidiDelivery::kQueueLength && clock.elapsed() < 5000)
        QCoreApplication::processEvents();
    ASSERT_EQ(received.size(), MidiDelivery::kQueueLength);
    for (std::uint32_t i = 0; i < MidiDelivery::kQueueLength; ++i) ASSERT_EQ(received[i], 100 + i) << i;
    EXPECT_EQ(lossy.droppedMessages(), 100u);

    // Afterwards the queue carries messages as before.
    std::thread again([&] { lossy.post(7); });
    again.join();
    while (received.size() < MidiDelivery::kQueueLength + 1 && clock.elapsed() < 5000)
        QCoreApplication::processEvents();
    ASSERT_EQ(received.size(), MidiDelivery::kQueueLength + 1);
    EXPECT_EQ(received.back(), 7u);
    EXPECT_EQ(lossy.droppedMessages(), 100u);
}

}  // namespace
}  // namespace voltina
