#include "render/performance_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "config/json_value.h"
#include "media/atomic_file.h"
#include "render/panel_events.h"
#include "render/start_state.h"

namespace voltina {

namespace {

constexpr const char* kEventsOpening = "\"events\": [";

std::string tail(std::uint64_t frames, bool anyEvent) {
    return std::string(anyEvent ? "\n  ]" : "]") + ",\n  \"frames\": " + std::to_string(frames) + "\n}\n";
}

// Sample files as absolute paths: the performance is read from wherever NAME.vtk is saved.
std::string absolutePath(const std::string& path) {
    if (path.empty()) return path;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

Edit withAbsoluteSample(const Edit& edit) {
    if (!edit.patch || edit.patch->samplePath.empty()) return edit;
    auto patch = std::make_shared<PanelPatch>(*edit.patch);
    patch->samplePath = absolutePath(patch->samplePath);
    Edit copy = edit;
    copy.patch = std::move(patch);
    return copy;
}

}  // namespace

PerformanceCapture::~PerformanceCapture() {
    clear();
}

void PerformanceCapture::begin(const std::string& spoolPath, FrameCount frames) {
    clear();
    capturing_ = true;
    frames_ = std::move(frames);
    spoolPath_ = spoolPath;
    if (spoolPath.empty()) return;
    fd_ = ::open(spoolPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ < 0) spoolProblem_ = "Cannot create " + spoolPath + ": " + std::strerror(errno);
}

void PerformanceCapture::captureStart(const EngineState& s, const std::string& samplePath) {
    if (!capturing_ || started_) return;
    started_ = true;
    sampleRate_ = s.rateParam - 1;
    append("{\"voltina-events\": " + std::to_string(kPanelEventsVersion) +
           ",\n  \"start\": " + serializeStartState(s, absolutePath(samplePath), sampleId(s.waveSample)) +
           ",\n  " + kEventsOpening);
}

void PerformanceCapture::edit(const Edit& edit) {
    // A controller learnt or forgotten plays nothing: what it moves later is captured as the edit it made.
    if (!started_ || !capturing_ || !actsOnEngine(edit.kind)) return;
    const Edit absolute = withAbsoluteSample(edit);
    add(frames_ ? frames_() : 0, &absolute, 0);
}

void PerformanceCapture::midi(std::uint32_t packed) {
    if (!started_ || !capturing_) return;
    add(frames_ ? frames_() : 0, nullptr, packed);
}

void PerformanceCapture::add(std::uint64_t frame, const Edit* edit, std::uint32_t midi) {
    PanelEvent event;
    event.frame = frame;
    if (edit != nullptr) {
        event.edit = *edit;
        if (edit->patch && edit->patch->sample) event.sampleId = sampleId(edit->patch->sample);
    } else {
        event.isMidi = true;
        event.midi = midi;
    }
    append((events_ == 0 ? "\n" : ",\n") + serializePanelEvent(event, sampleRate_));
    ++events_;
}

int PerformanceCapture::sampleId(const std::shared_ptr<SampleRecord>& sample) {
    if (!sample) return 0;
    for (std::size_t i = 0; i < samples_.size(); ++i) {
        if (samples_[i] == sample) return static_cast<int>(i) + 1;
    }
    samples_.push_back(sample);
    return static_cast<int>(samples_.size());
}

void PerformanceCapture::append(const std::string& part) {
    text_ += part;
    if (fd_ < 0) return;
    // One write per event: a crash leaves at most the last event cut short, which the recovery drops.
    const char* data = part.data();
    std::size_t left = part.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            spoolProblem_ = "Cannot write " + spoolPath_ + ": " + std::strerror(n < 0 ? errno : ENOSPC);
            ::close(fd_);
            fd_ = -1;
            return;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

void PerformanceCapture::end() {
    capturing_ = false;
    if (fd_ >= 0) {
        ::fdatasync(fd_);
        ::close(fd_);
        fd_ = -1;
    }
}

void PerformanceCapture::clear() {
    end();
    started_ = false;
    frames_ = {};
    events_ = 0;
    sampleRate_ = 0;
    text_.clear();
    samples_.clear();
    spoolPath_.clear();
    spoolProblem_.clear();
}

std::string PerformanceCapture::text(std::uint64_t frames) const {
    if (!started_) return {};
    return text_ + tail(frames, events_ != 0);
}

std::string performancePathFor(const std::string& wavePath) {
    std::filesystem::path path(wavePath);
    path.replace_extension(".vtk");
    return path.string();
}

bool closeSpooledPerformance(const std::string& spooled, std::uint64_t frames, std::string& out) {
    const std::size_t opening = spooled.find(kEventsOpening);
    if (opening == std::string::npos) return false;
    const std::size_t eventsFrom = opening + std::strlen(kEventsOpening);
    std::size_t end = spooled.size();
    // Whole as it stands, else without the event the crash cut short, else without any event.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string candidate = spooled.substr(0, end) + tail(frames, end > eventsFrom);
        JsonValue root;
        std::string ignored;
        if (parseJson(candidate, root, ignored)) {
            out = candidate;
            return true;
        }
        // Events start on lines of their own; a configuration inside one has its lines indented further.
        const std::size_t previous =
            end > eventsFrom ? spooled.rfind(",\n  {\"frame\": ", end - 1) : std::string::npos;
        end = previous == std::string::npos || previous < eventsFrom ? eventsFrom : previous;
    }
    return false;
}

bool savePerformance(const std::string& path, const std::string& text, std::string& error) {
    return writeFileAtomically(path, text.data(), text.size(), error);
}

}  // namespace voltina
