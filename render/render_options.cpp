#include "render/render_options.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <limits>

#include "engine/engine_state.h"

namespace voltina {

namespace {

bool parseUnsigned(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 18) return false;
    value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

}  // namespace

bool isPerformancePath(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.size() - dot != 4) return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == "vtk";
}

const char* renderUsage() {
    return "Usage: voltina-render NAME.vtk [--seconds S | --frames N] [--quiet] -o OUT.wav\n"
           "       voltina-render [CONFIG] (--seconds S | --frames N) [--rate 11025|22050|44100]\n"
           "                      [--channels 1|2] [--midi FILE.mid] [--wave FILE.wav]\n"
           "                      [--events FILE] [--quiet] -o OUT.wav\n"
           "\n"
           "Renders Voltina's patch without a sound card and writes what a recording of it would hold.\n"
           "\n"
           "  NAME.vtk        a take's performance, saved beside NAME.WAV: renders the take again,\n"
           "                  byte for byte (its length unless --seconds or --frames says otherwise)\n"
           "  CONFIG          a configuration file saved by Voltina (default: the start-up patch)\n"
           "  --seconds S     render S seconds (S x rate frames, rounded down)\n"
           "  --frames N      render N frames\n"
           "  --rate R        the sample rate, overriding the configuration's\n"
           "  --channels C    2 (default) or 1, as on a single-channel sound card\n"
           "  --midi FILE     play a Standard MIDI File through the MIDI voice (and its control\n"
           "                  changes through the controllers the configuration binds)\n"
           "  --wave FILE     the Wave player's sample (mono, 8 bits, at the rate rendered),\n"
           "                  instead of the one the configuration names\n"
           "  --events FILE   scripted panel moves (frequencies, types, levels, pans, cords, sync)\n"
           "                  applied at given frames; see the manual page for the form\n"
           "  -o, --output F  the WAV file to write; - for standard output\n"
           "  -q, --quiet     no progress display\n"
           "  --help          show this text\n"
           "  --version       show the version\n";
}

bool secondsToFrames(const std::string& seconds, int rate, std::uint64_t& frames) {
    const std::size_t dot = seconds.find('.');
    const std::string whole = dot == std::string::npos ? seconds : seconds.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? std::string() : seconds.substr(dot + 1);
    if (whole.empty() && fraction.empty()) return false;
    std::uint64_t wholeValue = 0;
    if (!whole.empty() && !parseUnsigned(whole, wholeValue)) return false;
    if (fraction.size() > 9) return false;
    std::uint64_t fractionValue = 0;
    if (!fraction.empty() && !parseUnsigned(fraction, fractionValue)) return false;
    std::uint64_t scale = 1;
    for (std::size_t i = 0; i < fraction.size(); ++i) scale *= 10;
    const auto r = static_cast<std::uint64_t>(rate);
    if (wholeValue > std::numeric_limits<std::uint64_t>::max() / 2 / r) return false;
    frames = wholeValue * r + fractionValue * r / scale;
    return true;
}

bool parseRenderOptions(const std::vector<std::string>& args, RenderOptions& out, std::string& error) {
    RenderOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        // An empty name is a mistake (an unset shell variable), never the same as leaving the option out.
        auto fileName = [&](std::string& into) {
            if (!value(into)) return false;
            if (into.empty()) {
                error = a + " needs a file name, not an empty one";
                return false;
            }
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--seconds") {
            if (!value(o.seconds)) return false;
            o.haveSeconds = true;
        } else if (a == "--frames") {
            if (!value(v)) return false;
            if (!parseUnsigned(v, o.frames)) {
                error = "--frames takes a whole number of frames, not \"" + v + "\"";
                return false;
            }
            o.haveFrames = true;
        } else if (a == "--rate") {
            if (!value(v)) return false;
            const bool known = std::any_of(std::begin(kSampleRates), std::end(kSampleRates),
                                           [&v](int rate) { return v == std::to_string(rate); });
            if (!known) {
                error = "--rate must be 11025, 22050 or 44100, not \"" + v + "\"";
                return false;
            }
            o.rate = std::stoi(v);
        } else if (a == "--channels") {
            if (!value(v)) return false;
            if (v != "1" && v != "2") {
                error = "--channels must be 1 or 2, not \"" + v + "\"";
                return false;
            }
            o.channels = v == "1" ? 1 : 2;
            o.haveChannels = true;
        } else if (a == "--midi") {
            if (!fileName(o.midiPath)) return false;
        } else if (a == "--wave") {
            if (!fileName(o.wavePath)) return false;
        } else if (a == "--events") {
            if (!fileName(o.eventsPath)) return false;
        } else if (a == "--quiet" || a == "-q") {
            o.quiet = true;
        } else if (a == "-o" || a == "--output") {
            if (!value(o.outputPath)) return false;
        } else if (!a.empty() && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else if (a.empty()) {
            error = "an empty name is not a configuration file; leave it out to render the start-up patch";
            return false;
        } else if (o.configPath.empty()) {
            o.configPath = a;
        } else {
            error = "only one configuration can be rendered, \"" + a + "\" is one too many";
            return false;
        }
    }
    if (!o.help && !o.version) {
        if (o.haveSeconds && o.haveFrames) {
            error = "give the length with either --seconds or --frames, not both";
            return false;
        }
        // A performance knows its take's length.
        if (!o.haveSeconds && !o.haveFrames && !isPerformancePath(o.configPath)) {
            error = "give the length with either --seconds or --frames";
            return false;
        }
        if (o.outputPath.empty()) {
            error = "give the WAV file to write with -o";
            return false;
        }
        if (o.haveSeconds) {
            std::uint64_t check = 0;
            if (!secondsToFrames(o.seconds, 44100, check)) {
                error = "--seconds takes a number of seconds such as 5 or 2.5, not \"" + o.seconds + "\"";
                return false;
            }
        }
    }
    out = o;
    return true;
}

}  // namespace voltina
