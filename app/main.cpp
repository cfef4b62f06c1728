// voltina: the synthesizer's window.

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/application.h"
#include "app/audio_system_adapter.h"
#include "app/autosave_offer.h"
#include "app/command_line.h"
#include "app/frame_window.h"
#include "app/nsm_session.h"
#ifdef VOLTINA_PLUGIN_WINDOW
#include "app/plugin_window_mode.h"
#endif
#include "app/program.h"
#include "app/program_parts.h"
#include "app/recording_save.h"
#include "audio/jack_device.h"
#include "audio/take_spool.h"
#include "dialogs/dialog_context.h"
#include "engine/engine_state.h"
#include "media/printable_text.h"
#include "midi/midi_port_option.h"
#include "voltina_version.h"

namespace {

// Errors echo what was typed: escaped, an argument cannot drive the terminal.
int commandLineError(const std::string& error) {
    std::fprintf(stderr, "voltina: %s\nTry 'voltina --help' for the options.\n",
                 voltina::printableText(error).c_str());
    return 2;
}

void say(const std::string& text) {
    std::fprintf(stderr, "voltina: %s\n", voltina::printableText(text).c_str());
}

// Qt ends the process with abort() when no platform plugin starts (no display, -platform bogus): while
// the application is being made, that fatal message becomes ours and a plain exit.
bool gMakingApplication = false;
QtMessageHandler gQtHandler = nullptr;

void startupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg && gMakingApplication) {
        say("no display could be opened (" + message.section('\n', 0, 0).toStdString() +
            "). Start voltina inside a desktop session, or check DISPLAY, WAYLAND_DISPLAY or -platform.");
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (gQtHandler)
        gQtHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
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
    if (options.recover) {
        const int takes = listUnsavedTakes(stdout);
        return listAutosaves(unsavedTakeFolder(), stdout) | takes;
    }
    if (!options.environmentWarning.empty()) say(options.environmentWarning);
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

#ifdef VOLTINA_PLUGIN_WINDOW
    if (options.pluginWindowFd >= 0) {
        if (const std::string problem = pluginLinkProblem(options.pluginWindowFd); !problem.empty())
            return commandLineError(problem);
        // Started by the plugin inside a host, which has its own session: no session manager, no sound.
        gMakingApplication = true;
        gQtHandler = qInstallMessageHandler(startupMessages);
        Application app(argc, argv);
        gMakingApplication = false;
        qInstallMessageHandler(gQtHandler);
        return runPluginWindow(app, options.pluginWindowFd);
    }
#else
    if (options.pluginWindowFd >= 0) return commandLineError("this voltina was built without the LV2 plugin");
#endif

    // Under a session manager: announced before anything else, and nothing (no sound, no JACK client, no
    // window) before the server says which session to open.
    std::unique_ptr<NsmSession> nsm;
    const char* nsmUrl = std::getenv("NSM_URL");
    if (nsmUrl && *nsmUrl) {
        nsm = std::make_unique<NsmSession>();
        if (!nsm->announceAndWaitForOpen(nsmUrl, std::filesystem::path(argv[0]).filename().string(), error)) {
            if (error.empty()) return 0;  // ended before the open
            say(error);
            return 1;
        }
        if (!configPath.empty()) say("the session's configuration is used, not " + configPath);
        std::error_code ec;
        configPath = std::filesystem::exists(nsm->sessionFile(), ec) ? nsm->sessionFile() : std::string();
    }
    const std::string jackName = nsm ? nsm->opened().clientId : std::string(kJackClientName);

    gMakingApplication = true;
    gQtHandler = qInstallMessageHandler(startupMessages);
    Application app(argc, argv);
    gMakingApplication = false;
    qInstallMessageHandler(gQtHandler);
    EngineState state;
    const char* noConnect = std::getenv("VOLTINA_NO_CONNECT");
    const bool connectPorts = options.connectPorts && !(noConnect && std::string(noConnect) == "1");
    AudioSystemAdapter audio(state, options.backend, connectPorts, jackName);
    MidiInputOptions midiOptions;
    midiOptions.portChoice = midiPort;
    if (nsm) midiOptions.clientName = jackName + " MIDI";
    ProgramParts parts(
        state, audio, [&audio](int rateParam) { audio.system().changeRate(rateParam); }, midiOptions);
    ProgramWiring wiring = parts.wiring(configPath);
    parts.capturePerformances(audio.performance());
    audio.setSamplePathSource([&parts] { return parts.samplePath(); });
    if (nsm) {
        // The session is where everything is kept, and its manager decides when it is saved.
        audio.system().setSpoolFolder(nsm->takeFolder());
        parts.configurations.setSessionFile(nsm->sessionFile());
        wiring.services.saveConfiguration = [&nsm] { nsm->saveFromMenu(); };
        wiring.services.saveBeforeQuit = [&nsm] { return nsm->saveFromMenu(); };
        wiring.services.sayElsewhere = [&nsm](const std::string& text, const std::string& detail) {
            return nsm->sayInSession(text, detail);
        };
        wiring.startHidden = nsm->startHidden();
        wiring.windowMade = [&nsm, &parts, &state](FrameWindow& frame) { nsm->attach(parts, state, frame); };
        wiring.afterSetup = [&parts] {
            const std::string& notice = parts.midi.input().notice();
            if (!notice.empty()) say(notice);
        };
        const int status = runVoltina(app, systemPlatform(), audio, state, std::move(wiring));
        if (options.printStats) std::fprintf(stderr, "%s\n", audio.system().statsText().c_str());
        return status;
    }
    // Beside the unsaved takes; a program that cannot keep one says so and runs on.
    std::string autosaveError;
    if (!parts.autosave.start(unsavedTakeFolder(), autosaveError)) say("no autosave: " + autosaveError);
    wiring.afterSetup = [&parts] {
        const std::string& notice = parts.midi.input().notice();
        if (!notice.empty()) say(notice);
        // Once the window shows: a panel, then takes, a crash or a kill left behind.
        QTimer::singleShot(0, [&parts] {
            offerAutosaves(unsavedTakeFolder(), dialogOwner(), parts.configurations, parts.autosave);
            offerUnsavedTakes(dialogOwner());
        });
    };
    const int status = runVoltina(app, systemPlatform(), audio, state, std::move(wiring));
    // A normal end ("Finished ?" answered): the autosave has served its purpose.
    parts.autosave.finish();
    if (options.printStats) std::fprintf(stderr, "%s\n", audio.system().statsText().c_str());
    return status;
}
