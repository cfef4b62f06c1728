#pragma once
// What the plugin's tests play: the every-module patch as a configuration file with its sample, a MIDI
// file of notes on two channels, and voltina-render's output of the same, to compare with byte for byte.

#include <cstdint>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "tests/plugin/lv2_test_host.h"

namespace voltina::test {

class PluginFiles {
  public:
    PluginFiles();  // a private folder, removed when done
    ~PluginFiles();
    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    // The every-module patch at `rate`, naming its sample "EVERY.WAV" (written beside it).
    Configuration everyModule(int rate) const;
    // Writes `c` as NAME and, when it names one, its sample at the configuration's rate.
    std::string writeConfiguration(const std::string& name, const Configuration& c) const;

    // A MIDI file of a few overlapping notes (channels 1 and 2) and the same notes (and any control
    // changes a MIDI file holds) as host events at `rate`, each `offset` frames later.
    std::string writeTune(const std::string& name) const;
    std::vector<HostEvent> tuneEvents(const std::string& midiPath, int rate, std::uint64_t offset) const;

    // voltina-render's frames (two bytes each) for `frames` frames of CONFIG (none: the start-up patch)
    // with the MIDI file and the events file, when given.
    std::vector<std::uint8_t> render(const std::string& config, const std::string& midi, std::uint64_t frames,
                                     const std::string& events = "") const;

  private:
    std::string folder_;
};

}  // namespace voltina::test
