#include "app/plugin_window_mode.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/application.h"
#include "app/configuration_files.h"
#include "app/frame_window.h"
#include "app/program.h"
#include "engine/engine_state.h"
#include "media/printable_text.h"
#include "panel/panel_audio.h"
#include "patch/apply_edit.h"
#include "plugin/plugin_edits.h"
#include "plugin/ui_link.h"

namespace voltina {

namespace {

void say(const std::string& text) {
    std::fprintf(stderr, "voltina --plugin-window: %s\n", printableText(text).c_str());
}

// The host plays the plugin: the panel's sound switch shows it on, and nothing here makes a sound.
class HostPlays : public PanelAudio {
  public:
    void setHooks(AudioHooks* hooks) override { hooks_ = hooks; }
    bool initAudio() override { return true; }
    bool audioReady() const override { return true; }
    void setAudioReady(bool) override {}
    void renderIfDue() override {}
    void startSound() override { playing_ = true; }
    void stopSound() override { playing_ = false; }
    bool soundPlaying() const override { return playing_; }
    void pumpUntilPainted(QWidget*) override {}
    void startStartupTimer() override {
        QTimer::singleShot(300, [this] {
            if (hooks_ != nullptr) hooks_->firstTick();
        });
    }
    void removeMouseHook() override {}

  private:
    AudioHooks* hooks_ = nullptr;
    bool playing_ = false;
};

// The window's close button ends the window only: the patch lives on in the plugin, nothing is lost,
// so the program's "Finished ?" has nothing to ask.
class CloseEndsWindow : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Close) return QObject::eventFilter(watched, event);
        event->accept();
        QCoreApplication::quit();
        return true;
    }
};

class PluginLink {
  public:
    PluginLink(int fd, EngineState& state) : fd_(fd), state_(state) {}

    void attach(FrameWindow& frame) {
        frame_ = &frame;
        SynthPanel& panel = *frame.panel();
        panel.session().setEditObserver([this](const Edit& edit) { send(edit); });
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { read(); });
    }

  private:
    void send(const Edit& edit) {
        EditBody numbers;
        PatchEditBody whole;
        std::string bytes;
        if (editBody(edit, numbers)) {
            bytes = linkFrame(LinkMessage::Edit, &numbers, sizeof numbers);
        } else if (patchEditBody(edit, whole)) {
            bytes = linkFrame(LinkMessage::PatchEdit, &whole, sizeof whole);
        } else {
            // A sample loaded by the window (none can be yet) stays the window's.
            say("the plugin's window cannot send a sample; the plugin keeps its own");
            return;
        }
        if (!writeLink(fd_, bytes)) end("the plugin's UI is gone");
    }

    void read() {
        char bytes[4096];
        const ssize_t n = ::recv(fd_, bytes, sizeof bytes, MSG_DONTWAIT);
        if (n == 0) return end("");  // the host closed the window
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) end(std::strerror(errno));
            return;
        }
        reader_.take(bytes, static_cast<std::size_t>(n));
        LinkMessage type;
        std::vector<char> body;
        while (reader_.next(type, body)) {
            if (type == LinkMessage::Title) {
                frame_->setWindowTitle(QString::fromUtf8(body.data(), static_cast<int>(body.size())));
            } else if (type == LinkMessage::Panel) {
                showPluginPanel(body);
            }
        }
        if (!reader_.broken().empty()) end(reader_.broken());
    }

    // What the plugin plays, shown as it is: not a gesture of this window, so neither sent back nor
    // made a step of the history.
    void showPluginPanel(const std::vector<char>& bytes) {
        PanelBody body;
        std::memcpy(&body, bytes.data(), sizeof body);
        // The rate a saved configuration is written at.
        if (body.rateParam == 11026 || body.rateParam == 22051 || body.rateParam == 44101)
            state_.rateParam = body.rateParam;
        if (samePanel(body, panelBody(state_))) return;
        auto patch = std::make_shared<PanelPatch>();
        std::string why;
        if (!panelFromBody(body, *patch, &why)) return say("the plugin sent a panel that cannot be: " + why);
        // The plugin's sample stays in the plugin: the window holds a stand-in while the plugin has one, so
        // that "No wave" and its Undo are steps like any other.
        patch->sample = body.hasSample == 0 ? nullptr : state_.waveSample ? state_.waveSample : pluginSample_;
        if (!applyEdit(state_, Edit{EditKind::Restore, 0, 0, 0, 0, 0.0f, patch}).taken())
            return say("the plugin sent cords that break the patch bay's rules");
        frame_->panel()->showPatch();
    }

    void end(const std::string& why) {
        if (!why.empty()) say(why);
        notifier_->setEnabled(false);
        QCoreApplication::quit();
    }

    int fd_;
    EngineState& state_;
    FrameWindow* frame_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
    LinkReader reader_;
    const std::shared_ptr<SampleRecord> pluginSample_ = std::make_shared<SampleRecord>();
};

// The Wave button's list: "No wave" is an edit the plugin takes; a file the window cannot send yet.
class SamplesStayInThePlugin : public SampleLoader {
  public:
    void setPanel(SynthPanel* panel) { panel_ = panel; }
    void selectWaveFile(const std::string&) override {
        if (panel_ != nullptr)
            panel_->showMessage(
                "The plugin's window cannot load a sample yet.",
                "Choose a configuration that names it in the host's Configuration parameter.");
    }
    void freeWaveSample() override {}
    void forgetWaveFileName() override {}
    void adoptSample(const std::string&) override {}

  private:
    SynthPanel* panel_ = nullptr;
};

}  // namespace

std::string pluginLinkProblem(int linkFd) {
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(linkFd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM) return {};
    return "--plugin-window " + std::to_string(linkFd) +
           ": no socket from the plugin there; this mode is started by the plugin's UI, in a host";
}

int runPluginWindow(Application& app, int linkFd) {
    EngineState state;
    HostPlays audio;
    PluginLink link(linkFd, state);
    CloseEndsWindow closing;
    // The menu's configurations, without a rate change or a sample of the window's own: a load is an
    // edit like the others (the plugin plays it at its rate, with its sample), a save writes the panel
    // at the plugin's rate.
    ConfigurationFiles configurations(state, nullptr, nullptr);
    ProgramWiring wiring;
    SamplesStayInThePlugin samples;
    wiring.services.samples = &samples;
    wiring.services.panelChanged = [&configurations, &samples](SynthPanel* panel) {
        configurations.setPanel(panel);
        samples.setPanel(panel);
    };
    wiring.services.loadConfiguration = [&configurations] { configurations.loadCommand(); };
    wiring.services.saveConfiguration = [&configurations] { configurations.saveCommand(); };
    wiring.windowMade = [&link, &closing](FrameWindow& frame) {
        frame.installEventFilter(&closing);
        link.attach(frame);
    };
    const int status = runVoltina(app, systemPlatform(), audio, state, std::move(wiring));
    ::close(linkFd);
    return status;
}

}  // namespace voltina
