#include "media/midi_input.h"

#include <rtmidi/RtMidi.h>

#include <mutex>
#include <vector>

#include "media/midi_message.h"
#include "media/midi_ports.h"

namespace voltina {

// What RtMidi's callbacks reach. Made before the RtMidi client (whose threads start in its constructor
// or when the port opens) and released after it, so no callback ever sees it half-made or gone.
struct MidiInput::Feed {
    MidiConsumer consumer;
    std::atomic<std::uint64_t> dropped{0};

    // RtMidi reports errors through a callback, on whichever thread met them.
    std::mutex errorMutex;
    bool failed = false;

    void recordError(RtMidiError::Type type) {
        // Warnings are advice (a port already connected, ...); every other type means the operation failed.
        if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) return;
        std::lock_guard<std::mutex> lock(errorMutex);
        failed = true;
    }
    bool hasFailed() {
        std::lock_guard<std::mutex> lock(errorMutex);
        return failed;
    }
    void clearFailure() {
        std::lock_guard<std::mutex> lock(errorMutex);
        failed = false;
    }
};

namespace {

// MIDI library's thread.
void onRtMidiMessage(double /*deltaSeconds*/, std::vector<unsigned char>* message, void* userData) {
    auto* feed = static_cast<MidiInput::Feed*>(userData);
    std::uint32_t packed = 0;
    if (message == nullptr || !packShortMessage(message->data(), message->size(), packed)) {
        feed->dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    try {
        feed->consumer(packed);
    } catch (...) {
        // nothing may unwind into the MIDI library's C code; the message is lost, the input goes on
        feed->dropped.fetch_add(1, std::memory_order_relaxed);
    }
}

// Any thread. Without this callback RtMidi prints its errors and throws them.
void onRtMidiError(RtMidiError::Type type, const std::string& /*text*/, void* userData) {
    static_cast<MidiInput::Feed*>(userData)->recordError(type);
}

bool reachable(MidiSystem system, const MidiInputOptions& options) {
    return system == MidiSystem::AlsaSequencer ? alsaSequencerPresent(options.alsaDevice)
                                               : jackServerRunning();
}

std::vector<MidiSystem> systemsToTry(MidiSystem choice) {
    if (choice != MidiSystem::Automatic) return {choice};
    // The sequencer is the desktop's own MIDI service (PipeWire keeps it too); JACK serves where the
    // kernel has no sequencer, or where the sequencer cannot be opened.
    return {MidiSystem::AlsaSequencer, MidiSystem::Jack};
}

std::string missingChoiceNotice(const std::string& choice) {
    return "No MIDI input port matches \"" + choice + "\". Voltina listens on its own MIDI port \"" +
           kMidiClientName + "\": connect the keyboard to it.";
}

}  // namespace

MidiInput::MidiInput() = default;

MidiInput::~MidiInput() {
    close();
}

std::uint64_t MidiInput::droppedMessages() const {
    return feed_ ? feed_->dropped.load(std::memory_order_relaxed) : 0;
}

bool MidiInput::open(const MidiInputOptions& options, MidiConsumer consumer) {
    close();
    notice_.clear();
    auto feed = std::make_unique<Feed>();
    feed->consumer = std::move(consumer);
    for (MidiSystem system : systemsToTry(options.system)) {
        if (!reachable(system, options)) continue;
        feed->clearFailure();
        if (openOn(system, options, *feed)) {
            feed_ = std::move(feed);
            return true;
        }
    }
    return false;
}

// The same steps on both systems: only the RtMidi API differs.
bool MidiInput::openOn(MidiSystem system, const MidiInputOptions& options, Feed& feed) {
    const RtMidi::Api api = system == MidiSystem::AlsaSequencer ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
    std::unique_ptr<RtMidiIn> input;
    try {
        input = std::make_unique<RtMidiIn>(api, kMidiClientName);
        input->setErrorCallback(&onRtMidiError, &feed);
        input->ignoreTypes(true, true, true);  // system exclusive, timing, active sensing
        input->setCallback(&onRtMidiMessage, &feed);

        std::vector<std::string> ports;
        const unsigned count = input->getPortCount();
        for (unsigned i = 0; i < count; ++i) ports.push_back(input->getPortName(i));
        if (feed.hasFailed()) return false;

        const int chosen = chooseInputPort(ports, options.portChoice);
        if (chosen >= 0) {
            input->openPort(static_cast<unsigned>(chosen), kMidiClientName);
            if (feed.hasFailed() || !input->isPortOpen()) return false;
            portName_ = ports[static_cast<std::size_t>(chosen)];
            ownPort_ = false;
        } else {
            input->openVirtualPort(kMidiClientName);
            if (feed.hasFailed()) return false;
            portName_ = kMidiClientName;
            ownPort_ = true;
            if (!options.portChoice.empty()) notice_ = missingChoiceNotice(options.portChoice);
        }
    } catch (const RtMidiError&) {
        return false;  // thrown before the error callback was in place: the system cannot be used
    } catch (const std::exception&) {
        return false;
    }
    input_ = std::move(input);
    system_ = system;
    return true;
}

void MidiInput::close() {
    // Destroying the RtMidi client joins its input thread (ALSA) or closes the JACK client, which stops
    // the process callback; only then may the feed go.
    input_.reset();
    feed_.reset();
    system_ = MidiSystem::Automatic;
    portName_.clear();
    ownPort_ = false;
}

}  // namespace voltina
