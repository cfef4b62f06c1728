#include "midi/midi_input.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <rtmidi/RtMidi.h>

#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "midi/midi_message.h"
#include "midi/midi_ports.h"
#include "midi/rtmidi_jack_client.h"

namespace voltina {

// What RtMidi's callbacks reach. Made before the RtMidi client (whose threads start in its constructor
// or when the port opens) and released after it, so no callback ever sees it half-made or gone.
struct MidiInput::Feed {
    MidiConsumer consumer;
    std::atomic<std::uint64_t> dropped{0};

    // Set by libjack's shutdown handlers when the JACK server shuts the client down.
    std::atomic<bool> serverGone{false};
    // The Dekker pair that lets the GUI thread cut the consumer off while the client lives on: it raises
    // `released`, then waits while `delivering` is up. Both sequentially consistent on purpose.
    std::atomic<bool> released{false};
    std::atomic<bool> delivering{false};

    // On JACK, the input port our own process callback reads (null until it is open), and whether that
    // thread is inside a SysEx message. RtMidi 5 would take every event after an F0 that never ends for
    // a piece of it, until a lone F7 came: the keyboard would go deaf.
    std::atomic<jack_port_t*> jackPort{nullptr};
    bool inSysEx = false;  // JACK's process thread only

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
void deliver(MidiInput::Feed& feed, const unsigned char* bytes, std::size_t size) {
    std::uint32_t packed = 0;
    if (bytes == nullptr || !packShortMessage(bytes, size, packed)) {
        feed.dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    try {
        feed.consumer(packed);
    } catch (...) {
        // nothing may unwind into the MIDI library's C code; the message is lost, the input goes on
        feed.dropped.fetch_add(1, std::memory_order_relaxed);
    }
}

// MIDI library's thread.
void onRtMidiMessage(double /*deltaSeconds*/, std::vector<unsigned char>* message, void* userData) {
    auto* feed = static_cast<MidiInput::Feed*>(userData);
    feed->delivering.store(true);
    if (!feed->released.load() && message != nullptr) deliver(*feed, message->data(), message->size());
    feed->delivering.store(false);
}

// JACK's process thread. One JACK MIDI event: a whole message, or a piece of a SysEx message. A SysEx
// ends at its F7 or, as the MIDI standard has it, at the next status byte that is not a real-time one.
// System messages never play a note and pass silently, as RtMidi's filter let them.
void takeJackEvent(MidiInput::Feed& feed, const unsigned char* bytes, std::size_t size) {
    const unsigned char first = bytes[0];
    if (first >= 0xF8) return;  // real-time (clock, start, sensing...): may fall inside a SysEx
    if (first == 0xF0 || (first < 0x80 && feed.inSysEx)) {
        feed.inSysEx = bytes[size - 1] != 0xF7;
        return;
    }
    feed.inSysEx = false;
    if (first >= 0xF0) return;  // a lone F7, system common
    deliver(feed, bytes, size);
}

// JACK's process thread: replaces RtMidi's own for the input's client. Never allocates, locks or waits.
int onJackProcess(jack_nframes_t frames, void* arg) {
    auto* feed = static_cast<MidiInput::Feed*>(arg);
    jack_port_t* port = feed->jackPort.load(std::memory_order_acquire);
    if (port == nullptr) return 0;
    void* buffer = jack_port_get_buffer(port, frames);
    if (buffer == nullptr) return 0;
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    feed->delivering.store(true);
    if (!feed->released.load()) {
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0 && event.size > 0)
                takeJackEvent(*feed, event.buffer, event.size);
        }
    }
    feed->delivering.store(false);
    return 0;
}

// Any thread. Without this callback RtMidi prints its errors and throws them.
void onRtMidiError(RtMidiError::Type type, const std::string& /*text*/, void* userData) {
    static_cast<MidiInput::Feed*>(userData)->recordError(type);
}

// libjack's threads.
void onJackServerGone(void* arg) {
    static_cast<std::atomic<bool>*>(arg)->store(true, std::memory_order_release);
}

void onJackServerGoneWithReason(jack_status_t, const char*, void* arg) {
    onJackServerGone(arg);
}

// Makes `feed.serverGone` the record of the JACK server shutting the input's client down. False when the
// client cannot be reached safely (an RtMidi whose internals are not the ones this was written for): the
// input must then not be used, since it could not be closed safely once its server had gone.
bool watchJackServer(RtMidiIn& input, MidiInput::Feed& feed, const std::string& clientName) {
    jack_client_t* client = jackClientOf(input);
    if (client == nullptr) return false;
    // The client RtMidi opened carries our name (JACK may have suffixed it), so a wrong pointer shows here.
    const char* name = jack_get_client_name(client);
    if (name == nullptr || std::strncmp(name, clientName.c_str(), clientName.size()) != 0) return false;
    // JACK takes shutdown handlers only from an inactive client, and RtMidi activates its client as soon
    // as it opens it. No port exists yet, so nothing can be missed meanwhile. Both kinds of handler:
    // libjack calls the plain one too when its threads notice the loss twice.
    if (jack_deactivate(client) != 0) return false;
    jack_on_shutdown(client, &onJackServerGone, &feed.serverGone);
    jack_on_info_shutdown(client, &onJackServerGoneWithReason, &feed.serverGone);
    // The events are read by our own process callback, which ends a SysEx as the MIDI standard does.
    if (jack_set_process_callback(client, &onJackProcess, &feed) != 0) return false;
    return jack_activate(client) == 0;
}

// What close() lets go of when the JACK server has gone. libjack deletes such a client at the process's
// next jack_client_open, so closing it ourselves could free it twice; until libjack does, the client's
// threads live on, and a new server of the same name even wakes its process thread when some program opens
// a client of our name there. So RtMidi's object, which that thread reads, and the feed it calls stay for
// the rest of the process (a few hundred bytes for each server lost); only the consumer is cut off.
struct LostInput {
    std::unique_ptr<RtMidiIn> input;
    std::unique_ptr<MidiInput::Feed> feed;
};

void letGo(std::unique_ptr<RtMidiIn> input, std::unique_ptr<MidiInput::Feed> feed) {
    feed->released.store(true);
    // The consumer never blocks, so this wait is a few microseconds at most.
    while (feed->delivering.load()) std::this_thread::yield();
    // Never destroyed: libjack's threads may call into these up to the very end of the process.
    static auto* const lost = new std::vector<LostInput>;
    lost->push_back(LostInput{std::move(input), std::move(feed)});
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

std::string missingChoiceNotice(const std::string& choice, const std::string& clientName) {
    return "No MIDI input port matches \"" + choice + "\". Voltina listens on its own MIDI port \"" +
           clientName + ":" + kMidiPortName + "\": connect the keyboard to it.";
}

}  // namespace

MidiInput::MidiInput() = default;

MidiInput::~MidiInput() {
    close();
}

std::uint64_t MidiInput::droppedMessages() const {
    return feed_ ? feed_->dropped.load(std::memory_order_relaxed) : 0;
}

bool MidiInput::serverLost() const {
    return feed_ && feed_->serverGone.load(std::memory_order_acquire);
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
        input = std::make_unique<RtMidiIn>(api, options.clientName);
        input->setErrorCallback(&onRtMidiError, &feed);
        if (system == MidiSystem::Jack && !watchJackServer(*input, feed, options.clientName)) return false;
        input->ignoreTypes(true, true, true);  // system exclusive, timing, active sensing
        input->setCallback(&onRtMidiMessage, &feed);

        std::vector<std::string> ports;
        const unsigned count = input->getPortCount();
        for (unsigned i = 0; i < count; ++i) ports.push_back(input->getPortName(i));
        if (feed.hasFailed()) return false;

        const int chosen = chooseInputPort(ports, options.portChoice, options.clientName);
        if (chosen >= 0) {
            input->openPort(static_cast<unsigned>(chosen), kMidiPortName);
            if (feed.hasFailed() || !input->isPortOpen()) return false;
            portName_ = ports[static_cast<std::size_t>(chosen)];
            ownPort_ = false;
        } else {
            input->openVirtualPort(kMidiPortName);
            if (feed.hasFailed()) return false;
            portName_ = options.clientName + ":" + kMidiPortName;
            ownPort_ = true;
            if (!options.portChoice.empty())
                notice_ = missingChoiceNotice(options.portChoice, options.clientName);
        }
    } catch (const RtMidiError&) {
        return false;  // thrown before the error callback was in place: the system cannot be used
    } catch (const std::exception&) {
        return false;
    }
    if (system == MidiSystem::Jack) {
        // The port RtMidi registered on its client, under our port name, whichever way it was opened.
        jack_client_t* client = jackClientOf(*input);
        const char* clientName = client ? jack_get_client_name(client) : nullptr;
        jack_port_t* port =
            clientName ? jack_port_by_name(client, (std::string(clientName) + ":" + kMidiPortName).c_str())
                       : nullptr;
        if (port == nullptr) return false;
        feed.jackPort.store(port, std::memory_order_release);
    }
    input_ = std::move(input);
    system_ = system;
    return true;
}

void MidiInput::close() {
    if (input_ && serverLost()) letGo(std::move(input_), std::move(feed_));
    // Our process callback reads the port RtMidi unregisters in its teardown: the client stops calling
    // it first (jack_deactivate waits for a callback in progress).
    if (input_ && system_ == MidiSystem::Jack) {
        if (jack_client_t* client = jackClientOf(*input_)) jack_deactivate(client);
    }
    // Destroying the RtMidi client joins its input thread (ALSA) or closes the JACK client, which stops
    // the process callback; only then may the feed go.
    input_.reset();
    feed_.reset();
    system_ = MidiSystem::Automatic;
    portName_.clear();
    ownPort_ = false;
}

}  // namespace voltina
