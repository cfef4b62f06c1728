// The plugin's window in a host, with real clicks on a private X server: a cord pulled out and plugged
// elsewhere, a level turned and the turn undone reach the plugin as edits, and the host's sound is then
// voltina-render's with the same edits at the frames where they reached the plugin. A level the host
// sets shows in the window (read as a screen reader reads it). The window's process killed, the host
// plays on and opens the window again, which shows the plugin's panel as it is.
//
// Run by plugin_window_scenario.sh, which gives it the X server, the accessibility bus and PROGRAM.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "plugin/plugin_edits.h"
#include "plugin/plugin_uris.h"
#include "render/panel_events.h"
#include "tests/plugin/plugin_fixture.h"

namespace voltina::test {
namespace {

constexpr double kRate = 11025;
constexpr std::uint32_t kBlock = 256;

std::string shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// The host at work: blocks played at about the pace of the sound, the window run between them.
class PlayingHost {
  public:
    PlayingHost() {
        std::string error;
        EXPECT_TRUE(host.instantiate(kRate, error)) << error;
    }
    // Plays until `done` (false after `seconds`).
    bool playUntil(double seconds, const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            host.play(kBlock, {kBlock}, pending);
            pending.clear();
            host.idleWindow();
            if (done && done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    std::size_t edits() const {
        std::size_t n = 0;
        for (const HostEvent& e : host.windowWrites())
            n += e.property == kWindowEditUri || e.property == kWindowPatchEditUri ? 1 : 0;
        return n;
    }
    // The window's id on the X server, once it shows; the panel's top within it.
    std::string findWindow(int& panelTop) {
        std::string id;
        playUntil(30, [&] {
            id = shell(
                "xdotool search --onlyvisible --name '^Voltina \\(test host\\)$' 2>/dev/null | head -n1");
            return !id.empty();
        });
        const std::string height =
            shell("xdotool getwindowgeometry --shell " + id + " | sed -n 's/^HEIGHT=//p'");
        panelTop = height.empty() ? 0 : std::atoi(height.c_str()) - 442;
        // The first tick sets the panel up.
        playUntil(1.5, {});
        return id;
    }
    std::string read(const std::string& control) {
        return shell(std::string(WINDOW_READER) + " '" + control + "'");
    }

    TestHost host;
    std::vector<HostEvent> pending;
};

TEST(PluginWindow, GesturesReachThePluginAtTheirFramesAndTheWindowComesBack) {
    const std::string art = std::getenv("ARTIFACTS") ? std::getenv("ARTIFACTS") : ".";
    PluginFiles files;
    PlayingHost p;
    std::string error;
    // A program that cannot start: the host is told the window closed, and may try again.
    const std::string program = std::getenv("VOLTINA_PROGRAM") ? std::getenv("VOLTINA_PROGRAM") : "";
    ::setenv("VOLTINA_PROGRAM", "/nonexistent/voltina", 1);
    ASSERT_TRUE(p.host.openWindow(error)) << error;
    EXPECT_TRUE(p.host.windowSaidClosed());
    p.host.closeWindow();
    ::setenv("VOLTINA_PROGRAM", program.c_str(), 1);
    ASSERT_TRUE(p.host.openWindow(error)) << error;
    int top = 0;
    std::string win = p.findWindow(top);
    ASSERT_FALSE(win.empty()) << "no window titled 'Voltina (test host)'";
    const auto click = [&](int x, int y) {
        shell("xdotool mousemove --window " + win + " " + std::to_string(x) + " " + std::to_string(y + top) +
              " click 1");
    };
    const auto edited = [&](std::size_t n) { return p.playUntil(10, [&] { return p.edits() >= n; }); };

    click(569, 351);  // the cord out of mixer input 307
    ASSERT_TRUE(edited(1));
    click(569, 39);  // and into 301
    ASSERT_TRUE(edited(2));
    const std::string before = p.read("Mixer channel 1 level");
    // Channel 1's level, held down a little while: a knob turns on its timer.
    shell("xdotool mousemove --window " + win + " " + std::to_string(WINDOW_LEVEL_X) + " " +
          std::to_string(WINDOW_LEVEL_Y + top) + " mousedown 1");
    p.playUntil(0.6, {});
    shell("xdotool mouseup 1");
    ASSERT_TRUE(edited(3));
    p.playUntil(0.5, {});
    shell("xdotool windowfocus --sync " + win + " key ctrl+z");
    ASSERT_TRUE(
        p.playUntil(10, [&] { return p.host.windowWrites().back().property == kWindowPatchEditUri; }));
    EXPECT_EQ(p.read("Mixer channel 1 level"), before);

    // The host moves a level: the window shows it.
    const std::uint64_t hostSetAt = p.host.frame();
    p.pending.push_back(HostEvent::setInt(hostSetAt, "channel2-level", 33));
    EXPECT_TRUE(p.playUntil(10, [&] { return p.read("Mixer channel 2 level") == "33.0"; }))
        << p.read("Mixer channel 2 level");
    shell("import -window root '" + art + "/window.png'");

    // The window's process killed: the host is told, plays on, and shows the window again.
    const pid_t pid = std::atoi(shell("xdotool getwindowpid " + win).c_str());
    ASSERT_GT(pid, 0);
    ::kill(pid, SIGKILL);
    EXPECT_TRUE(p.playUntil(10, [&] { return p.host.windowSaidClosed(); }));
    const std::uint64_t killedAt = p.host.frame();
    p.playUntil(0.5, {});
    EXPECT_GT(p.host.frame(), killedAt);
    p.host.closeWindow();
    ASSERT_TRUE(p.host.openWindow(error)) << error;
    win = p.findWindow(top);
    ASSERT_FALSE(win.empty()) << "the window did not open again";
    EXPECT_EQ(p.read("Mixer channel 2 level"), "33.0");
    EXPECT_EQ(p.read("Mixer channel 1 level"), before);
    shell("import -window root '" + art + "/reopened.png'");
    p.host.closeWindow();

    // What the host played is voltina-render's with the same edits at the same frames.
    std::vector<PanelEvent> events;
    for (const HostEvent& write : p.host.windowWrites()) {
        PanelEvent event;
        event.frame = write.frame;
        if (write.property == kWindowEditUri && write.body.size() == sizeof(EditBody)) {
            EditBody body;
            std::memcpy(&body, write.body.data(), sizeof body);
            ASSERT_TRUE(editFromBody(body, event.edit));
        } else if (write.property == kWindowPatchEditUri && write.body.size() == sizeof(PatchEditBody)) {
            PatchEditBody body;
            std::memcpy(&body, write.body.data(), sizeof body);
            auto patch = std::make_shared<PanelPatch>();
            ASSERT_TRUE(panelFromBody(body.panel, *patch));
            event.edit = Edit{static_cast<EditKind>(body.kind), 0, 0, 0, 0, 0.0f, patch};
        } else {
            continue;
        }
        events.push_back(event);
    }
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0].edit.kind, EditKind::UnplugAtInput);
    EXPECT_EQ(events[1].edit.kind, EditKind::Plug);
    EXPECT_EQ(events[2].edit.kind, EditKind::LevelKnob);
    EXPECT_EQ(events.back().edit.kind, EditKind::Restore);
    // The host's own change, after the window's at the same frame as the host delivers them.
    PanelEvent set;
    set.frame = hostSetAt;
    for (int parameter = 0; parameter < kParameterCount; ++parameter)
        if (parameterName(parameter) == "channel2-level") set.edit = parameterEdit(parameter, 33);
    events.push_back(set);
    std::stable_sort(events.begin(), events.end(),
                     [](const PanelEvent& a, const PanelEvent& b) { return a.frame < b.frame; });
    const std::string eventsFile = art + "/events.json";
    std::ofstream(eventsFile) << serializePanelEvents(events, static_cast<int>(kRate));
    const std::vector<std::uint8_t> played = p.host.playedBytes();
    const std::vector<std::uint8_t> rendered = files.render("", "", p.host.frame(), eventsFile);
    ASSERT_EQ(played.size(), rendered.size());
    std::size_t differ = 0;
    while (differ < played.size() && played[differ] == rendered[differ]) ++differ;
    EXPECT_EQ(differ, played.size()) << "first difference at frame " << differ / 2;
}

}  // namespace
}  // namespace voltina::test
