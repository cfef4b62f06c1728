#pragma once
// One MIDI input port: on the ALSA sequencer when the kernel has it, else on a JACK server. This layer
// is the only one that talks to RtMidi; no RtMidi exception or message gets past it.
//
// Which port: the first device port the system lists (the "Midi Through" loop-back and Voltina's own
// ports are not devices), or the first whose name contains the --midi-port choice. When there is no
// such port, Voltina opens an input port of its own, "Voltina MIDI:midi_in", that a keyboard or another
// program can be connected to later with the desktop's usual tools (aconnect, qjackctl, a patchbay). Opening
// fails only when no MIDI system can be reached at all.
//
// Threads: every member function belongs to the GUI thread. The consumer given to open() runs on the
// MIDI library's thread (the sequencer's input thread, or JACK's process thread). libjack's word that a
// JACK server shut the input's client down arrives on one of libjack's threads and only sets a flag.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "midi/midi_ports.h"
#include "midi/midi_systems.h"

class RtMidiIn;

namespace voltina {

enum class MidiSystem { Automatic, AlsaSequencer, Jack };

struct MidiInputOptions {
    std::string portChoice;  // a part of a port's name; empty: the first device port
    MidiSystem system = MidiSystem::Automatic;
    std::string alsaDevice = kAlsaSequencerDevice;
    // The MIDI client's name (a session manager gives each program its own).
    std::string clientName = kMidiClientName;
};

// MIDI library's thread: receives each complete channel message, packed as status | data1 << 8 |
// data2 << 16, in the order the port delivered them. It must not touch engine state: it hands the
// message on to the GUI thread (see MidiDelivery) and returns.
using MidiConsumer = std::function<void(std::uint32_t packed)>;

class MidiInput {
  public:
    MidiInput();
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // GUI thread. Closes a port already open, then opens one. When this returns true, the consumer
    // receives messages until close(); it must stay valid until then.
    bool open(const MidiInputOptions& options, MidiConsumer consumer);

    // GUI thread. Stops the input and closes the port; when it returns, the consumer is no longer
    // called and will not be again. Does nothing when nothing is open. An input whose JACK server went
    // away is let go of rather than closed: see serverLost().
    void close();

    // GUI thread.
    bool isOpen() const { return static_cast<bool>(input_); }
    // The system the port is on (AlsaSequencer or Jack) while open.
    MidiSystem system() const { return system_; }
    // The device port listened to, as the system lists it, or the own port's name.
    const std::string& portName() const { return portName_; }
    bool listensOnOwnPort() const { return ownPort_; }
    // A sentence for the user when open() had to do other than asked (the chosen port is not there);
    // empty otherwise.
    const std::string& notice() const { return notice_; }
    // Messages the port delivered that were not complete channel messages, since open().
    std::uint64_t droppedMessages() const;
    // The JACK server shut the input's client down (it was stopped, or it crashed). The input stays
    // open, and deaf, until close(). libjack then owns the client: it deletes it at the process's next
    // jack_client_open, whoever makes that call, so close() must not close it a second time.
    bool serverLost() const;

    struct Feed;  // what RtMidi's callbacks share with this object; defined with them

  private:
    bool openOn(MidiSystem system, const MidiInputOptions& options, Feed& feed);

    std::unique_ptr<Feed> feed_;  // outlives input_: RtMidi's callbacks point into it
    std::unique_ptr<RtMidiIn> input_;
    MidiSystem system_ = MidiSystem::Automatic;
    std::string portName_;
    bool ownPort_ = false;
    std::string notice_;
};

}  // namespace voltina
