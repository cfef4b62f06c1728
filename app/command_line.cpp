#include "app/command_line.h"

#include <QByteArray>
#include <QString>
#include <cstring>

namespace voltina {

namespace {

// Qt's own options that take a value; the value must not be taken for a CONFIG.
constexpr const char* kQtOptionsWithValue[] = {
    "-platform",     "-platformpluginpath", "-platformtheme", "-plugin", "-display", "-geometry",
    "-style",        "-stylesheet",         "-session",       "-name",   "-title",   "-qwindowgeometry",
    "-qwindowtitle", "-qwindowicon",
};
constexpr const char* kQtFlags[] = {"-reverse", "-nograb", "-dograb", "-sync", "-widgetcount"};

template <std::size_t N>
bool listed(const char* const (&names)[N], const std::string& arg) {
    for (const char* name : names) {
        if (arg == name) return true;
    }
    return false;
}

bool parseZoom(const std::string& text, double& zoom) {
    bool ok = false;
    const double value = QString::fromStdString(text).toDouble(&ok);
    if (!ok || (value != 1.0 && value != 1.5 && value != 2.0)) return false;
    zoom = value;
    return true;
}

std::string badAudioName(const std::string& where, const std::string& name) {
    return "unknown audio system \"" + name + "\" in " + where + ": use pulse, alsa, jack or null";
}

}  // namespace

const char* programUsage() {
    return "Usage: voltina [--audio pulse|alsa|jack|null] [--no-connect] [--midi-port NAME] [--zoom 1|1.5|2] "
           "[--stats] [CONFIG]\n"
           "       voltina --recover | --help | --version\n"
           "\n"
           "A small modular analog synthesizer: one panel of oscillators, modules and a mixer joined by "
           "cords.\n"
           "\n"
           "  CONFIG            start with this configuration instead of the default patch\n"
           "  --audio NAME      play through PulseAudio (pulse), ALSA (alsa), a JACK server (jack) or\n"
           "                    nothing at all (null); default: VOLTINA_AUDIO, else PulseAudio, else ALSA\n"
           "  --no-connect      leave Voltina's JACK outputs unconnected instead of connecting them to the\n"
           "                    system's playback ports (also VOLTINA_NO_CONNECT=1)\n"
           "  --midi-port NAME  listen to the first MIDI input port whose name contains NAME\n"
           "  --zoom Z          draw the whole window Z times as large: 1, 1.5 or 2\n"
           "  --stats           print the audio figures (late renders, stale frames, stalls, xruns) when "
           "the\n"
           "                    program ends\n"
           "  --recover         list the takes and the autosaved panels a run that ended abnormally left\n"
           "                    unsaved (the next start offers them)\n"
           "  --plugin-window FD\n"
           "                    the LV2 plugin's window, which its UI library starts in a host and talks\n"
           "                    to through the socket FD; it plays no sound of its own\n"
           "  --help            show this text\n"
           "  --version         show the version\n";
}

bool parseProgramOptions(const std::vector<std::string>& args, const char* audioEnvironment,
                         ProgramOptions& out, std::string& error) {
    ProgramOptions o;
    bool audioFromCommandLine = false;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const std::string& option, std::string& into) {
            const std::string prefix = option + "=";
            if (a.compare(0, prefix.size(), prefix) == 0) {
                into = a.substr(prefix.size());
            } else if (i + 1 < args.size()) {
                into = args[++i];
            } else {
                error = option + " needs a value";
                return false;
            }
            return true;
        };
        auto is = [&](const char* option) {
            const std::size_t n = std::strlen(option);
            return a == option || (a.compare(0, n, option) == 0 && a.size() > n && a[n] == '=');
        };
        std::string v;
        if (a.empty()) {
            // An unset shell variable, most likely: starting the default patch instead would hide it.
            error = "an empty name is not a configuration file; leave it out to start with the default patch";
            return false;
        }
        if (onlyFiles || a[0] != '-' || a == "-") {
            if (!o.configPath.empty()) {
                error = "only one configuration can be loaded, \"" + a + "\" is one too many";
                return false;
            }
            o.configPath = a;
        } else if (a == "--") {
            onlyFiles = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--recover") {
            o.recover = true;
        } else if (a == "--stats") {
            o.printStats = true;
        } else if (a == "--no-connect") {
            o.connectPorts = false;
        } else if (is("--audio")) {
            if (!value("--audio", v)) return false;
            if (!parseBackendName(v, o.backend)) {
                error = badAudioName("--audio", v);
                return false;
            }
            audioFromCommandLine = true;
        } else if (is("--zoom")) {
            if (!value("--zoom", v)) return false;
            if (!parseZoom(v, o.zoom)) {
                error = "--zoom must be 1, 1.5 or 2, not \"" + v + "\"";
                return false;
            }
        } else if (is("--plugin-window")) {
            if (!value("--plugin-window", v)) return false;
            // Standard input, output and error are never the link.
            if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(v) < 3) {
                error =
                    "--plugin-window takes the number of the socket its plugin gave it (3 or more), not \"" +
                    v + "\"";
                return false;
            }
            o.pluginWindowFd = std::stoi(v);
        } else if (listed(kQtOptionsWithValue, a)) {
            if (i + 1 < args.size()) ++i;
        } else if (listed(kQtFlags, a)) {
            continue;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    if (!audioFromCommandLine && audioEnvironment && *audioEnvironment &&
        !parseBackendName(audioEnvironment, o.backend)) {
        o.environmentWarning =
            badAudioName("VOLTINA_AUDIO", audioEnvironment) + "; Voltina chooses one itself";
    }
    out = o;
    return true;
}

std::string scaleFactorFor(double zoom, const char* current) {
    double base = 1.0;
    if (current && *current) {
        bool ok = false;
        const double v = QByteArray(current).toDouble(&ok);
        if (ok && v > 0.0) base = v;
    }
    return QString::number(base * zoom, 'g', 6).toStdString();
}

}  // namespace voltina
