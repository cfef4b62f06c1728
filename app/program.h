#pragma once
// The program's life from entry to exit code.

#include <functional>
#include <memory>

#include "panel/panel_services.h"
#include "panel/synth_panel.h"

namespace voltina {

class PanelAudio;
class FrameWindow;
class Application;
struct EngineState;

// What the entry asks of the machine; tests give their own answers.
struct StartupPlatform {
    // Width of the client area of a full-screen window.
    std::function<int()> fullScreenWidth;
};
StartupPlatform systemPlatform();

enum ShowCommand { kShowNormal = 1, kShowMaximized = 3 };
ShowCommand chooseShowCommand(int fullScreenWidth);

// The main window's creation: the panel (its constructor builds the controls), the frame around it, then
// the panel's set-up. `audio` and whatever `services` point to must outlive the window.
std::unique_ptr<FrameWindow> createMainWindow(EngineState& state, PanelAudio& audio, PanelServices services,
                                              StartupPatch startup = {});

// What the program plugs into its panel (see ProgramParts).
struct ProgramWiring {
    PanelServices services;
    StartupPatch startup;
    // After the panel's set-up, before the window shows.
    std::function<void()> afterSetup;
    // The window has been shown (or, with startHidden, left hidden); the event loop starts next.
    std::function<void(FrameWindow&)> windowMade;
    bool startHidden = false;
};

// The whole run after the application object exists; returns the exit code.
int runVoltina(Application& app, const StartupPlatform& platform, PanelAudio& audio, EngineState& state,
               ProgramWiring wiring = {});

}  // namespace voltina
