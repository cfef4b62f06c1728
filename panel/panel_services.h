#pragma once
// Services the panel calls that other layers provide: MIDI input, the sample loader, the recording's
// save, configuration files and the help window. Each is optional: the panel works without it, and
// the program plugs in whichever the build has.
// GUI thread only.

#include <functional>
#include <string>

class QWidget;

namespace voltina {

class SynthPanel;

class MidiInputService {
  public:
    virtual ~MidiInputService() = default;
    // 1 when an input device (or the program's own input port) is open, 0 when none can be found.
    virtual int openMidiInput(QWidget* panel) = 0;
    virtual void closeMidiInput() = 0;
};

class SampleLoader {
  public:
    virtual ~SampleLoader() = default;
    // Loads the named file into the sample player and sets the Wave button's caption (the sample's
    // name, or "?-?" when it cannot be loaded).
    virtual void selectWaveFile(const std::string& name) = 0;
    virtual void freeWaveSample() = 0;
    virtual void forgetWaveFileName() = 0;
    // Undo or redo has put this file's sample (already read) back in the player; empty for none.
    virtual void adoptSample(const std::string& path) = 0;
};

struct PanelServices {
    // Told of the panel as soon as it is built (before its set-up) and again with null when it goes, so
    // that services made before the panel can reach its message box and buttons.
    std::function<void(SynthPanel*)> panelChanged;
    MidiInputService* midi = nullptr;
    SampleLoader* samples = nullptr;
    // Offered when the sound stops while recording: asks for a name and writes the WAV file.
    std::function<void()> saveRecording;
    std::function<void()> loadConfiguration;  // menu 900
    std::function<void()> saveConfiguration;  // menu 901
    // "Finished ?" with changes not saved: saves through the usual name prompt; true when saved.
    std::function<bool()> saveBeforeQuit;
    std::function<void()> showHelp;  // menu 903
    // Says a message (with its detail line) some other way than the modal box, and returns true; false
    // leaves it to the box. Under a session manager nothing modal may stand between it and the program.
    std::function<bool(const std::string& text, const std::string& detail)> sayElsewhere;
};

}  // namespace voltina
