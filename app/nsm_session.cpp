#include "app/nsm_session.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCloseEvent>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/frame_window.h"
#include "app/program_parts.h"
#include "audio/take_spool.h"
#include "config/configuration.h"
#include "media/atomic_file.h"
#include "media/file_bytes.h"
#include "media/printable_text.h"
#include "panel/synth_panel.h"

namespace voltina {

namespace {

constexpr const char* kOpenRequest = "/nsm/client/open";
constexpr const char* kSaveRequest = "/nsm/client/save";
// Far above any sample the Wave player takes; a copy is read whole.
constexpr std::size_t kMaxSampleCopyBytes = std::size_t{256} << 20;

// SIGTERM's way to the GUI thread: its handler only writes a byte.
int gTermPipe[2] = {-1, -1};

void onTerm(int) {
    const char byte = 1;
    const ssize_t ignored = ::write(gTermPipe[1], &byte, 1);
    (void)ignored;
}

void catchTerm() {
    if (gTermPipe[0] >= 0) return;
    if (::pipe2(gTermPipe, O_NONBLOCK | O_CLOEXEC) != 0) return;
    struct sigaction action {};
    action.sa_handler = onTerm;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
}

bool termArrived() {
    char byte = 0;
    return gTermPipe[0] >= 0 && ::read(gTermPipe[0], &byte, 1) == 1;
}

// A session manager ends its clients with SIGTERM when the session closes (after a save, if the user
// wanted one): at once, without a question. A take being recorded stays in the session's unsaved folder
// and is saved into the session at its next open.
[[noreturn]] void endAtOnce() {
    std::fflush(nullptr);
    std::_Exit(0);
}

std::string stamp() {
    return QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss").toStdString();
}

// A free name in `folder` for `base` + `extension`: base.ext, then base-2.ext, base-3.ext ...
std::string freeName(const std::filesystem::path& folder, const std::string& base,
                     const std::string& extension) {
    std::error_code ec;
    for (int n = 1;; ++n) {
        const std::filesystem::path p =
            folder / (base + (n > 1 ? "-" + std::to_string(n) : std::string()) + extension);
        if (!std::filesystem::exists(std::filesystem::symlink_status(p, ec))) return p.string();
    }
}

}  // namespace

NsmSession::NsmSession() {
    NsmRequests requests;
    requests.refused = [this](const std::string& why) {
        refused_ = true;
        refusal_ = why;
    };
    requests.open = [this](const NsmOpen& open) {
        if (haveOpen_) {
            client_->replyError(kOpenRequest, NsmError::NotNow, "Voltina opens one session per run");
            return;
        }
        std::string error;
        if (!prepareFolder(open, error)) return;
        open_ = open;
        haveOpen_ = true;
    };
    requests.save = [this] {
        std::string error;
        if (save(error))
            client_->replyOk(kSaveRequest);
        else
            client_->replyError(kSaveRequest, NsmError::General, error);
    };
    requests.showGui = [this] { showGui(true); };
    requests.hideGui = [this] { showGui(false); };
    // The server's words and the paths of stray messages are outside text: escaped on their way to the
    // terminal.
    requests.ignored = [](const std::string& what) {
        std::fprintf(stderr, "voltina: %s\n", printableText(what).c_str());
    };
    client_ = std::make_unique<NsmClient>(link_, std::move(requests));
}

NsmSession::~NsmSession() = default;

std::string NsmSession::sessionFile() const {
    return (std::filesystem::path(open_.path) / kSessionConfigurationName).string();
}

std::string NsmSession::takeFolder() const {
    return (std::filesystem::path(open_.path) / kSessionTakeFolderName).string();
}

bool NsmSession::announceAndWaitForOpen(const std::string& url, const std::string& executable,
                                        std::string& error) {
    catchTerm();
    if (!link_.open(url, error)) {
        error = "NSM_URL: " + error;
        return false;
    }
    client_->announce("Voltina", ":dirty:optional-gui:", executable, ::getpid());
    while (!haveOpen_) {
        link_.wait(200, gTermPipe[0]);
        if (termArrived()) {
            error.clear();
            return false;
        }
        if (!client_->receive()) client_->sayRepeats();
        if (refused_) {
            error = "the session manager refused Voltina: " + refusal_;
            return false;
        }
    }
    return true;
}

bool NsmSession::prepareFolder(const NsmOpen& open, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(open.path, ec);
    if (ec || !fs::is_directory(open.path, ec)) {
        error = "cannot make the session folder " + open.path + (ec ? ": " + ec.message() : "");
        client_->replyError(kOpenRequest, NsmError::CreateFailed, error);
        return false;
    }
    const fs::path config = fs::path(open.path) / kSessionConfigurationName;
    if (fs::exists(fs::symlink_status(config, ec))) {
        Configuration c;
        if (!readConfigurationFile(config.string(), c, error)) {
            client_->replyError(kOpenRequest, NsmError::BadProject, error);
            return false;
        }
    }
    if (::chdir(open.path.c_str()) != 0) {
        error = "cannot enter the session folder " + open.path + ": " + std::strerror(errno);
        client_->replyError(kOpenRequest, NsmError::General, error);
        return false;
    }
    // A take a SIGTERM or a crash left in the session: saved into it, where the session keeps its sound.
    const std::string takes = (fs::path(open.path) / kSessionTakeFolderName).string();
    // A copy of gigabytes takes seconds: SIGTERM stops it, and the take stays for the next open.
    bool ended = false;
    const TakeCopyProgress untilTerm = [&ended](std::uint64_t, std::uint64_t) {
        ended = ended || termArrived();
        return !ended;
    };
    for (const UnsavedTake& take : findUnsavedTakes(takes)) {
        if (!take.readable) continue;
        const std::string target = freeName(open.path, "TAKE-" + stamp(), ".WAV");
        std::string problem;
        if (saveUnsavedTake(take, target, problem, untilTerm))
            ::unlink(take.path.c_str());
        else if (ended)
            endAtOnce();
        else
            client_->message(1, "Voltina could not save a take into the session: " + problem);
    }
    return true;
}

void NsmSession::attach(ProgramParts& parts, EngineState& state, FrameWindow& frame) {
    parts_ = &parts;
    state_ = &state;
    frame_ = &frame;
    frame.installEventFilter(this);
    quiet_ = new QTimer(this);
    quiet_->setSingleShot(true);
    // The timer may come before the notifier of datagrams that waited behind a busy moment: quiet is
    // when none is waiting.
    connect(quiet_, &QTimer::timeout, this, [this] {
        if (client_->receive())
            sayRepeatsWhenQuiet();
        else
            client_->sayRepeats();
    });
    oscNotifier_ = new QSocketNotifier(link_.socketFd(), QSocketNotifier::Read, this);
    connect(oscNotifier_, &QSocketNotifier::activated, this, [this] {
        client_->receive();
        sayRepeatsWhenQuiet();
    });
    termNotifier_ = new QSocketNotifier(gTermPipe[0], QSocketNotifier::Read, this);
    connect(termNotifier_, &QSocketNotifier::activated, this, [] {
        if (termArrived()) endAtOnce();
    });
    connect(frame.panel(), &SynthPanel::historyChanged, this, &NsmSession::reportDirty);
    client_->replyOk(kOpenRequest);
    reportDirty();
    if (client_->serverHasOptionalGui()) client_->setGuiShown(frame.isVisible());
    // Messages that came while the panel was set up.
    client_->receive();
}

bool NsmSession::copySampleIntoSession(std::string& error) {
    namespace fs = std::filesystem;
    const std::string sample = parts_->samples.loadedPath();
    if (sample.empty() || !fs::path(sampleNameFor(sample, open_.path)).is_absolute()) return true;
    const fs::path source(sample);
    std::vector<std::uint8_t> bytes;
    if (!readFileBytes(sample, kMaxSampleCopyBytes, bytes, error)) {
        error = "cannot copy the sample into the session: " + error;
        return false;
    }
    // The same file copied before is used again; another file of that name gets a name of its own.
    std::error_code ec;
    std::string target = (fs::path(open_.path) / source.filename()).string();
    std::vector<std::uint8_t> there;
    std::string ignored;
    if (fs::exists(fs::symlink_status(target, ec)) &&
        !(readFileBytes(target, bytes.size() + 1, there, ignored) && there == bytes))
        target = freeName(open_.path, source.stem().string(), source.extension().string());
    if (there != bytes && !writeFileAtomically(target, bytes.data(), bytes.size(), error)) {
        error = "cannot copy the sample into the session: " + error;
        return false;
    }
    parts_->samples.adoptSample(target);
    return true;
}

bool NsmSession::save(std::string& error) {
    if (!parts_ || !state_) {
        error = "Voltina is still starting";
        return false;
    }
    if (!copySampleIntoSession(error)) return false;
    const std::string sample = parts_->samples.loadedPath();
    Configuration c = captureConfiguration(*state_, state_->rateParam - 1,
                                           sample.empty() ? sample : sampleNameFor(sample, open_.path));
    if (frame_) c.controllers = frame_->panel()->session().controllers();
    if (!writeConfigurationFile(sessionFile(), c, error)) return false;
    if (frame_) frame_->panel()->session().markSaved();
    return true;
}

bool NsmSession::saveFromMenu() {
    std::string error;
    if (save(error)) return true;
    if (frame_) frame_->panel()->showMessage("Cannot save the session.", error);
    return false;
}

void NsmSession::showGui(bool shown) {
    if (!frame_) return;
    if (shown) {
        frame_->show();
        frame_->raise();
        frame_->activateWindow();
    } else {
        frame_->hide();
    }
    client_->setGuiShown(shown);
}

// A complaint that comes again and again is counted, and the count said once the link has been quiet a
// second.
void NsmSession::sayRepeatsWhenQuiet() {
    if (quiet_) quiet_->start(1000);
}

bool NsmSession::sayInSession(const std::string& text, const std::string& detail) {
    if (frame_ && frame_->isVisible()) return false;
    const std::string said = detail.empty() ? text : text + " (" + detail + ")";
    client_->message(1, said);
    std::fprintf(stderr, "voltina: %s\n", printableText(said).c_str());
    return true;
}

void NsmSession::reportDirty() {
    if (frame_) client_->setDirty(frame_->panel()->session().modified());
}

bool NsmSession::eventFilter(QObject* watched, QEvent* event) {
    // The close button hides the window when the server can show it again; a quit the user confirmed
    // ("Finished ?") still ends the program.
    if (watched == frame_ && event->type() == QEvent::Close && client_->serverHasOptionalGui() &&
        !frame_->panel()->isFinished()) {
        event->ignore();
        showGui(false);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace voltina
