// The plugin's UI library: no Qt and no panel in the host's process, only a process of its own that
// runs the real panel (voltina --plugin-window FD) and a socket to it. The host sees an external-UI
// widget (Ardour, Carla, Qtractor) and the show and idle interfaces (jalv); the window's edits reach the
// plugin through the host's write function as atoms on the control port, so the host records and
// renders them, and the panel the plugin notifies reaches the window.
//
// Host's UI thread only. A window that crashes, hangs or is killed never takes the host with it: the
// library learns of it from the socket, tells the host the window closed, and can start it again.

#include <fcntl.h>
#include <lv2/atom/atom.h>
#include <lv2/patch/patch.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "plugin/plugin_edits.h"
#include "plugin/plugin_uris.h"
#include "plugin/ui_link.h"

extern char** environ;

namespace {

using namespace voltina;

// The external-UI extension, which ships no header: the widget the host drives and what the host gives.
constexpr const char* kExternalUiHost = "http://kxstudio.sf.net/ns/lv2ext/external-ui#Host";
constexpr const char* kOldExternalUiHost = "http://lv2plug.in/ns/extensions/ui#external";
struct ExternalWidget {
    void (*run)(ExternalWidget*);
    void (*show)(ExternalWidget*);
    void (*hide)(ExternalWidget*);
};
struct ExternalHost {
    void (*ui_closed)(LV2UI_Controller);
    const char* plugin_human_id;
};

// The descriptors' URI: the Turtle's ui:ui.
constexpr const char* kWindowUri = VOLTINA_LV2_URI "#window";
// The window's fd in its process.
constexpr int kWindowFd = 3;

std::string programPath(const char* bundlePath) {
    if (const char* chosen = std::getenv("VOLTINA_PROGRAM"); chosen != nullptr && *chosen != '\0')
        return chosen;
    // An installed bundle lives in PREFIX/lib/lv2/voltina.lv2/, the program in PREFIX/bin/.
    std::string bundle = bundlePath != nullptr ? bundlePath : "";
    if (!bundle.empty() && bundle.back() != '/') bundle += '/';
    const std::string beside = bundle + "../../../bin/voltina";
    if (!bundle.empty() && ::access(beside.c_str(), X_OK) == 0) return beside;
    return VOLTINA_INSTALLED_PROGRAM;
}

class Window {
  public:
    ExternalWidget widget{};  // first: the host's widget pointer is the window's

    Window(LV2UI_Write_Function write, LV2UI_Controller controller, LV2_URID_Map* map,
           const ExternalHost* host, std::string program)
        : write_(write), controller_(controller), host_(host), program_(std::move(program)) {
        uris_.map(map);
        eventTransfer_ = map->map(map->handle, LV2_ATOM__eventTransfer);
        if (host_ != nullptr && host_->plugin_human_id != nullptr) title_ = host_->plugin_human_id;
    }
    ~Window() { stop(); }

    // 0 when the window shows, 1 when it cannot start.
    int show() {
        if (pid_ > 0) return 0;
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return complain("no socket");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], kWindowFd);
        const std::string fd = std::to_string(kWindowFd);
        char* argv[] = {const_cast<char*>(program_.c_str()), const_cast<char*>("--plugin-window"),
                        const_cast<char*>(fd.c_str()), nullptr};
        pid_t pid = 0;
        const int failed = ::posix_spawn(&pid, program_.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        if (failed != 0) {
            ::close(ends[0]);
            return complain("cannot start " + program_ + ": " + std::strerror(failed));
        }
        pid_ = pid;
        fd_ = ends[0];
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        reader_ = LinkReader();
        if (!title_.empty())
            send(linkFrame(LinkMessage::Title, title_.data(), static_cast<std::uint32_t>(title_.size())));
        // What the plugin played last, at once; the plugin's answer to the request follows.
        if (havePanel_) send(linkFrame(LinkMessage::Panel, &panel_, sizeof panel_));
        askForPanel();
        return 0;
    }

    // The external UI's show has no answer: a window that cannot start is told to the host as closed,
    // so it offers to open it again rather than wait for it.
    void showOrSayClosed() {
        if (show() != 0 && host_ != nullptr && host_->ui_closed != nullptr) host_->ui_closed(controller_);
    }

    void hide() { stop(); }

    // 0 while the window is open, 1 once it has closed (or was never opened).
    int idle() {
        if (fd_ < 0) return 1;
        char bytes[4096];
        for (;;) {
            const ssize_t n = ::recv(fd_, bytes, sizeof bytes, 0);
            if (n > 0) {
                reader_.take(bytes, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            const bool open = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            forwardEdits();
            if (!reader_.broken().empty()) {
                complain(reader_.broken() + "; the window is closed");
            } else if (open) {
                return 0;
            }
            // Gone (closed by the musician, crashed or killed): the host is told, so it can show it again.
            stop();
            if (host_ != nullptr && host_->ui_closed != nullptr) host_->ui_closed(controller_);
            return 1;
        }
    }

    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) {
        if (port != 1 || format != eventTransfer_ || size < sizeof(LV2_Atom)) return;
        const auto* atom = static_cast<const LV2_Atom*>(buffer);
        if (atom->type != uris_.panelShown || atom->size != sizeof(PanelBody) ||
            size < sizeof(LV2_Atom) + sizeof(PanelBody))
            return;
        std::memcpy(&panel_, LV2_ATOM_BODY_CONST(atom), sizeof panel_);
        havePanel_ = true;
        if (fd_ >= 0) send(linkFrame(LinkMessage::Panel, &panel_, sizeof panel_));
    }

  private:
    int complain(const std::string& text) {
        std::fprintf(stderr, "Voltina window: %s\n", text.c_str());
        return 1;
    }

    void send(const std::string& bytes) {
        // A window that stopped reading is a hung one: it is closed, the host plays on.
        if (fd_ >= 0 && !writeLink(fd_, bytes)) {
            complain("the window does not answer; it is closed");
            ::shutdown(fd_, SHUT_RDWR);
        }
    }

    void askForPanel() {
        struct {
            LV2_Atom atom;
            LV2_Atom_Object_Body body;
        } get{{sizeof(LV2_Atom_Object_Body), uris_.atomObject}, {0, uris_.patchGet}};
        write_(controller_, 0, sizeof get, eventTransfer_, &get);
    }

    void forwardEdits() {
        LinkMessage type;
        std::vector<char> body;
        while (reader_.next(type, body)) {
            if (type != LinkMessage::Edit && type != LinkMessage::PatchEdit) continue;
            std::vector<char> atom(sizeof(LV2_Atom) + body.size());
            const LV2_Atom header{static_cast<std::uint32_t>(body.size()),
                                  type == LinkMessage::Edit ? uris_.windowEdit : uris_.windowPatchEdit};
            std::memcpy(atom.data(), &header, sizeof header);
            std::memcpy(atom.data() + sizeof header, body.data(), body.size());
            write_(controller_, 0, static_cast<std::uint32_t>(atom.size()), eventTransfer_, atom.data());
        }
    }

    void stop() {
        if (fd_ >= 0) ::close(fd_);  // the window ends when its link does
        fd_ = -1;
        if (pid_ <= 0) return;
        // A second for the window to go by itself; a hung one is ended, never left a zombie.
        for (int i = 0; i < 100 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (::waitpid(pid_, nullptr, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

    LV2UI_Write_Function write_;
    LV2UI_Controller controller_;
    const ExternalHost* host_;
    std::string program_;
    std::string title_ = "Voltina";
    PluginUris uris_;
    LV2_URID eventTransfer_ = 0;
    pid_t pid_ = -1;
    int fd_ = -1;
    LinkReader reader_;
    PanelBody panel_;
    bool havePanel_ = false;
};

Window* windowOf(ExternalWidget* widget) {
    return reinterpret_cast<Window*>(widget);
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char* bundlePath,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    if (std::strcmp(pluginUri, kPluginUri) != 0) return nullptr;
    LV2_URID_Map* map = nullptr;
    const ExternalHost* host = nullptr;
    // Every feature is read: some hosts list instance-access after the external-UI host.
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0) {
            map = static_cast<LV2_URID_Map*>(features[i]->data);
        } else if (std::strcmp(features[i]->URI, kExternalUiHost) == 0 ||
                   (host == nullptr && std::strcmp(features[i]->URI, kOldExternalUiHost) == 0)) {
            host = static_cast<const ExternalHost*>(features[i]->data);
        }
    }
    if (map == nullptr || write == nullptr) {
        std::fprintf(stderr, "Voltina window: the host gives no URID map\n");
        return nullptr;
    }
    auto* window = new Window(write, controller, map, host, programPath(bundlePath));
    window->widget.run = [](ExternalWidget* w) { windowOf(w)->idle(); };
    window->widget.show = [](ExternalWidget* w) { windowOf(w)->showOrSayClosed(); };
    window->widget.hide = [](ExternalWidget* w) { windowOf(w)->hide(); };
    if (widget != nullptr) *widget = &window->widget;
    return window;
}

void cleanup(LV2UI_Handle handle) {
    delete static_cast<Window*>(handle);
}

void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    static_cast<Window*>(handle)->portEvent(port, size, format, buffer);
}

const LV2UI_Show_Interface kShow = {[](LV2UI_Handle h) { return static_cast<Window*>(h)->show(); },
                                    [](LV2UI_Handle h) {
                                        static_cast<Window*>(h)->hide();
                                        return 0;
                                    }};
const LV2UI_Idle_Interface kIdle = {[](LV2UI_Handle h) { return static_cast<Window*>(h)->idle(); }};

const void* extensionData(const char* uri) {
    if (std::strcmp(uri, LV2_UI__showInterface) == 0) return &kShow;
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdle;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kWindowUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
