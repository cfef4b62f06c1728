#pragma once
// voltina --plugin-window FD: the LV2 plugin's window. The real panel, in a process the plugin's UI
// library started, linked to it through the socket FD (plugin/ui_link.h): every edit the panel makes
// (gestures, Undo, Redo) goes to the plugin, and the panel the plugin plays comes back and shows. The
// plugin makes the sound: this process plays none, opens no JACK client, no MIDI port, keeps no autosave.
// GUI thread.

#include <string>

namespace voltina {

class Application;

// Why `linkFd` cannot be the plugin's link (it is no stream socket); empty when it can.
std::string pluginLinkProblem(int linkFd);

// Until the window is closed or the link ends; the exit code.
int runPluginWindow(Application& app, int linkFd);

}  // namespace voltina
