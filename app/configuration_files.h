#pragma once
// The menu's "Load a configuration" (900) and "Save a configuration" (901), and the configuration named on
// the command line. A file that cannot be read or is not a valid configuration changes nothing and the
// program's message box says why; a good one brings the whole panel in line with it: rate, oscillators,
// mixer, cords and sample.
// GUI thread only.

#include <functional>
#include <string>

#include "config/configuration.h"
#include "engine/engine_state.h"

namespace voltina {

class ProgramSamples;
class RateChange;
class SynthPanel;
struct StartupPatch;

constexpr const char* kSaveConfigurationCaption = "Save a configuration";
constexpr int kConfigurationNameLength = 30;

// The file name a typed name is saved under, in the start directory: letters, digits, "_" and "-" stay, every
// other character (a dot, a slash, a letter outside ASCII) becomes one "_", so the file has no extension
// and no folder.
std::string configurationFileName(const std::string& typed);

// How a sample's file is named in a configuration saved into `folder`: relative to it when the file lies
// inside it, absolute otherwise.
std::string sampleNameFor(const std::string& samplePath, const std::string& folder);

class ConfigurationFiles {
  public:
    // A configuration at another rate changes it through `rateChange`, as the menu's rate commands do.
    // `samples` may be null: configurations then leave the sample alone. The start directory, where the
    // menu lists and saves configurations, is the current directory when this is made.
    ConfigurationFiles(EngineState& state, RateChange* rateChange, ProgramSamples* samples);
    // The panel whose message box, question and buttons these use; null while there is none.
    void setPanel(SynthPanel* panel) { panel_ = panel; }

    // Menu 900: a file of the start directory chosen with the list dialog, then loadFile; or, with
    // "Other folder...", one chosen with the desktop's file dialog, which opens where the last one
    // chosen that way was (remembered across runs).
    void loadCommand();
    // Menu 901: a name asked with the entry dialog, then saveFile into the start directory. A name that
    // exists is replaced only when the user says so. True when the panel was saved.
    bool saveCommand();

    // True when the file was loaded. A rise to 22050 or 44100 asks the rate menu's question first; No
    // leaves everything as it was. A load at another rate cannot be undone (the rate change clears the
    // history).
    bool loadFile(const std::string& path);
    // True when written; the file appears whole or not at all.
    bool saveFile(const std::string& path);

    // The command line's configuration, loaded in place of the default patch: read before the audio is
    // built (its rate is built straight away), applied after the default patch.
    StartupPatch startupPatch(const std::string& path);

    // The configuration the panel was last loaded from or saved to (empty: none, the start-up patch).
    const std::string& currentFile() const;
    // An autosaved panel brought back: its rate, patch and sample, with its origin kept as the current
    // file and its "changes not saved" as they were. Asks nothing. False (and a message) when the
    // configuration cannot be applied.
    bool restore(const Configuration& c, const std::string& origin, bool modified);
    // Under a session manager: the session's own file. Loading another configuration then leaves the
    // panel with changes not saved, since the session has not been saved with it.
    void setSessionFile(const std::string& path) { sessionFile_ = path; }

  private:
    bool read(const std::string& path, Configuration& c);
    // `fromFile`: `path` is where the configuration was read, and the panel now equals it.
    void apply(const Configuration& c, const std::string& path, bool fromFile = true);
    void tell(const std::string& text);
    std::string inStartDirectory(const std::string& name) const;
    void loadFromOtherFolder();

    EngineState& state_;
    RateChange* rateChange_;
    ProgramSamples* samples_;
    SynthPanel* panel_ = nullptr;
    std::string startDirectory_;
    std::string currentFile_;
    std::string sessionFile_;
};

}  // namespace voltina
