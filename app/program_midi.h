#pragma once
// The program's MIDI keyboard input behind the panel's MidiInputService: one input and one delivery that
// hands its messages to the panel's onMidiData on the GUI thread. GUI thread only (the input's own thread
// only ever reaches the delivery's queue).

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "engine/engine_state.h"
#include "midi/midi_delivery.h"
#include "midi/midi_input.h"
#include "panel/panel_services.h"

namespace voltina {

class ProgramMidi : public MidiInputService {
  public:
    ProgramMidi(EngineState& state, MidiInputOptions options);
    ~ProgramMidi() override;
    ProgramMidi(const ProgramMidi&) = delete;
    ProgramMidi& operator=(const ProgramMidi&) = delete;

    // The messages go to `panel` (a SynthPanel), as the old input posted them to the window it was given.
    int openMidiInput(QWidget* panel) override;
    void closeMidiInput() override;

    const MidiInput& input() const { return input_; }
    // Where the input's thread posts; tests post here as a keyboard would.
    MidiDelivery& delivery() { return delivery_; }
    // Told of every message after the panel played it (the take's performance keeps them).
    void setHeard(std::function<void(std::uint32_t packed)> heard) { heard_ = std::move(heard); }

  private:
    void onMidiData(std::uint32_t packed);

    EngineState& state_;
    MidiInputOptions options_;
    QPointer<QWidget> panel_;
    std::function<void(std::uint32_t)> heard_;
    // Declared before the input so that it is destroyed after it: the input's thread may post until the
    // input is closed.
    MidiDelivery delivery_;
    MidiInput input_;
};

}  // namespace voltina
