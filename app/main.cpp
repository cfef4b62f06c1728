// voltina: the synthesizer's window.

#include <QByteArray>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/application.h"
#include "app/audio_system_adapter.h"
#include "app/command_line.h"
#include "app/program.h"
#include "app/program_parts.h"
#include "app/recording_save.h"
#include "dialogs/dialog_context.h"
#include "engine/engine_state.h"
#include "midi/midi_port_option.h"
#include "voltina_version.h"

namespace {

int commandLineError(const std::string& error) {
    std::fprintf(stderr, "voltina: %s\nTry 'voltina --help' for the options.\n", error.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace voltina;
    std::string midiPort;
    std::string error;
    if (!takeMidiPortOption(argc, argv, midiPort, error)) return commandLineError(error);
    ProgramOptions options;
    if (!parseProgramOptions(std::vector<std::string>(argv + 1, argv + argc), std::getenv("VOLTINA_AUDIO"),
                             options, error))
        return commandLineError(error);
    if (options.help) {
        std::fputs(programUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("Voltina " VOLTINA_VERSION);
        return 0;
    }
    if (options.recover) return listUnsavedTakes(stdout);
    if (!options.environmentWarning.empty())
        std::fprintf(stderr, "voltina: %s\n", options.environmentWarning.c_str());
    if (options.zoom != 1.0) {
        const std::string factor = scaleFactorFor(options.zoom, std::getenv("QT_SCALE_FACTOR"));
        qputenv("QT_SCALE_FACTOR", QByteArray::fromStdString(factor));
    }
    // Taken from where voltina was started: the configuration list moves the current directory later.
    std::string configPath;
    if (!options.configPath.empty()) {
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(options.configPath, ec);
        configPath = ec ? options.configPath : absolute.string();
    }

    Application app(argc, argv);
    EngineState state;
    const char* noConnect = std::getenv("VOLTINA_NO_CONNECT");
    const bool connectPorts = options.connectPorts && !(noConnect && std::string(noConnect) == "1");
    AudioSystemAdapter audio(state, options.backend, connectPorts);
    MidiInputOptions midiOptions;
    midiOptions.portChoice = midiPort;
    ProgramParts parts(
        state, audio, [&audio](int rateParam) { audio.system().changeRate(rateParam); }, midiOptions);
    ProgramWiring wiring = parts.wiring(configPath);
    wiring.afterSetup = [&parts] {
        const std::string& notice = parts.midi.input().notice();
        if (!notice.empty()) std::fprintf(stderr, "voltina: %s\n", notice.c_str());
        // Once the window shows: a take a crash or a kill left behind.
        QTimer::singleShot(0, [] { offerUnsavedTakes(dialogOwner()); });
    };
    const int status = runVoltina(app, systemPlatform(), audio, state, std::move(wiring));
    if (options.printStats) std::fprintf(stderr, "%s\n", audio.system().statsText().c_str());
    return status;
}
