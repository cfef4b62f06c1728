#pragma once
// voltina-render's command line.

#include <cstdint>
#include <string>
#include <vector>

#include "media/printable_text.h"

namespace voltina {

struct RenderOptions {
    std::string configPath;  // empty: the default patch; NAME.vtk: a take's performance
    bool haveSeconds = false;
    std::string seconds;  // decimal text, kept exact
    bool haveFrames = false;
    std::uint64_t frames = 0;
    int rate = 0;  // 0: the configuration's (or 11025)
    int channels = 2;
    bool haveChannels = false;
    std::string midiPath;
    std::string wavePath;    // the Wave player's sample, relative to the current directory; overrides the
                             // configuration's
    std::string eventsPath;  // scripted panel moves
    std::string outputPath;  // "-": standard output
    bool quiet = false;      // no progress display
    bool help = false;
    bool version = false;
};

// False with a message in `error` when the command line is not one voltina-render understands.
bool parseRenderOptions(const std::vector<std::string>& args, RenderOptions& out, std::string& error);

// S seconds at `rate` frames per second, rounded down, computed from the decimal text exactly
// (0.3 s at 44100 is 13230 frames, which a double product would make 13229). False on bad text.
bool secondsToFrames(const std::string& seconds, int rate, std::uint64_t& frames);

// A take's performance (NAME.vtk) rather than a configuration: by its name, as the program saves it.
bool isPerformancePath(const std::string& path);

const char* renderUsage();

}  // namespace voltina
