#include "app/program.h"

#include <QScreen>

#include "app/application.h"
#include "app/frame_window.h"
#include "dialogs/dialog_context.h"
#include "panel/panel_audio.h"
#include "panel/panel_cord_editor.h"
#include "panel/panel_services.h"
#include "panel/synth_panel.h"

namespace voltina {

StartupPlatform systemPlatform() {
    StartupPlatform p;
    p.fullScreenWidth = [] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->availableGeometry().width() : 1024;
    };
    return p;
}

ShowCommand chooseShowCommand(int fullScreenWidth) {
    return fullScreenWidth <= 640 ? kShowMaximized : kShowNormal;
}

std::unique_ptr<FrameWindow> createMainWindow(EngineState& state, PanelAudio& audio, PanelServices services,
                                              StartupPatch startup) {
    auto* panel = new SynthPanel(state, audio, std::move(services));
    panel->setCordEditor(makePanelCordEditor(*panel));
    auto frame = std::make_unique<FrameWindow>(panel);
    audio.setHooks(panel);
    panel->setStartupPatch(std::move(startup));
    panel->setupPanel();
    return frame;
}

int runVoltina(Application& app, const StartupPlatform& platform, PanelAudio& audio, EngineState& state,
               ProgramWiring wiring) {
    const ShowCommand show = chooseShowCommand(platform.fullScreenWidth ? platform.fullScreenWidth() : 1024);
    setRenderGate([&audio] { audio.renderIfDue(); });
    std::unique_ptr<FrameWindow> frame =
        createMainWindow(state, audio, std::move(wiring.services), std::move(wiring.startup));
    if (wiring.afterSetup) wiring.afterSetup();
    if (wiring.startHidden) {
        // Shown later on request (a session manager's); the sound plays on meanwhile.
    } else if (show == kShowMaximized) {
        frame->showMaximized();
    } else {
        frame->show();
    }
    if (wiring.windowMade) wiring.windowMade(*frame);
    const int status = app.exec();
    audio.removeMouseHook();
    setRenderGate(nullptr);
    frame.reset();  // the panel goes with its window and releases what it holds
    audio.setHooks(nullptr);
    return status;
}

}  // namespace voltina
