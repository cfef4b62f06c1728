#include "render/render_options.h"

#include <cctype>
#include <limits>

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

const char* renderUsage() {
    return "Usage: voltina-render [CONFIG] (--seconds S | --frames N) [--rate 11025|22050|44100]\n"
           "                      [--channels 1|2] [--midi FILE.mid] [--wave FILE.wav]\n"
           "                      [--events FILE] [--quiet] -o OUT.wav\n"
           "\n"
           "Renders Voltina's patch without a sound card and writes what a recording of it would hold.\n"
           "\n"
           "  CONFIG          a configuration file saved by Voltina (default: the start-up patch)\n"
           "  --seconds S     render S seconds (S x rate frames, rounded down)\n"
           "  --frames N      render N frames\n"
           "  --rate R        the sample rate, overriding the configuration's\n"
           "  --channels C    2 (default) or 1, as on a single-channel sound card\n"
           "  --midi FILE     play a Standard MIDI File through the MIDI voice\n"
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
            if (v != "11025" && v != "22050" && v != "44100") {
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
        } else if (a == "--midi") {
            if (!value(o.midiPath)) return false;
        } else if (a == "--wave") {
            if (!value(o.wavePath)) return false;
            if (o.wavePath.empty()) {
                error = "--wave needs a file name";
                return false;
            }
        } else if (a == "--events") {
            if (!value(o.eventsPath)) return false;
        } else if (a == "--quiet" || a == "-q") {
            o.quiet = true;
        } else if (a == "-o" || a == "--output") {
            if (!value(o.outputPath)) return false;
        } else if (!a.empty() && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else if (o.configPath.empty()) {
            o.configPath = a;
        } else {
            error = "only one configuration can be rendered, \"" + a + "\" is one too many";
            return false;
        }
    }
    if (!o.help && !o.version) {
        if (o.haveSeconds == o.haveFrames) {
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

std::string printableText(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    auto escape = [&](unsigned char b) {
        out += "\\x";
        out += digits[b >> 4];
        out += digits[b & 0xF];
    };
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b == '\n' || b == '\t') {
            out += b == '\n' ? "\\n" : "\\t";
            ++i;
        } else if (b < 0x20 || b == 0x7F) {
            escape(b);
            ++i;
        } else if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
        } else {
            // A whole, shortest-form UTF-8 sequence is kept, except the C1 controls U+0080..U+009F.
            std::size_t len = 0;
            std::uint32_t cp = 0;
            if (b >= 0xC2 && b <= 0xDF) {
                len = 2;
                cp = b & 0x1Fu;
            } else if (b >= 0xE0 && b <= 0xEF) {
                len = 3;
                cp = b & 0x0Fu;
            } else if (b >= 0xF0 && b <= 0xF4) {
                len = 4;
                cp = b & 0x07u;
            }
            bool ok = len != 0 && i + len <= n;
            for (std::size_t k = 1; ok && k < len; ++k) {
                ok = (p[i + k] & 0xC0) == 0x80;
                cp = cp << 6 | (p[i + k] & 0x3Fu);
            }
            ok = ok && !(len == 3 && cp < 0x800) && !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
                 !(cp >= 0xD800 && cp <= 0xDFFF) && !(cp >= 0x80 && cp <= 0x9F);
            if (ok) {
                out.append(text, i, len);
                i += len;
            } else {
                escape(b);
                ++i;
            }
        }
    }
    return out;
}

}  // namespace voltina
