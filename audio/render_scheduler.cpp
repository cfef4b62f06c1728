// The scheduling half of AudioSystem: the render gate, the start and stop of the sound, the timer
// procedure, the mouse hook and the message pump. The application's own hooks on the event loop are
// GatedApplication's.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include "audio/audio_system.h"
#include "audio/tick_clock.h"

namespace voltina {

namespace {
constexpr std::int32_t kRenderSpacingMs = 100;
// The sound timer wakes the thread when the next render is due, not more often: ten times a second
// while nothing else happens. It starts at this interval and is then re-armed for the time left.
constexpr int kSoundTimerMs = 10;
constexpr int kStartupTimerMs = 300;
constexpr std::uint32_t kPumpLimitMs = 3000;
// A play position that stands still this long while the sound is on is a stalled stream. With a render every
// 100 ms, the stall is noticed within a second.
constexpr std::int32_t kStallMs = 900;

bool isMouseEvent(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::NonClientAreaMouseMove:
        case QEvent::Wheel:
            return true;
        default:
            return false;
    }
}
}  // namespace

class AudioSystem::Host : public RenderHost {
  public:
    explicit Host(AudioSystem& audio) : audio_(audio) {}
    bool deviceOpen() const override { return audio_.deviceOpen_; }
    bool readPlayPosition(std::uint64_t& frames) override { return audio_.readPlayPosition(frames); }
    void stopRenderTimer() override { audio_.timer_.stop(); }
    void closeDevice() override {
        audio_.closeAudio();
        audio_.hooks_.setSpeakerLit(false);  // the engine has stopped the sound: the switch shows it
    }
    void showMessage(const char* text) override { audio_.hooks_.showMessage(text); }
    RenderWatch* watch() override { return audio_.watch_; }

  private:
    AudioSystem& audio_;
};

// An application-wide event filter that calls the render gate on every mouse event and never consumes it.
class AudioSystem::MouseHook : public QObject {
  public:
    explicit MouseHook(AudioSystem& audio) : audio_(audio) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (isMouseEvent(event->type())) audio_.onMouseActivity();
        return false;
    }

  private:
    AudioSystem& audio_;
};

AudioSystem::AudioSystem(EngineState& state, AudioHooks& hooks, std::unique_ptr<WaveDevice> device)
    : state_(state),
      hooks_(hooks),
      device_(std::move(device)),
      host_(std::make_unique<Host>(*this)),
      tick_(&tickCount) {
    if (state_.ring.ringBytes() == 0) state_.ring.setRingBytes(startupRingBytes(state_.rateParam));
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { onSoundTick(); });
}

AudioSystem::~AudioSystem() {
    removeMouseHook();
    timer_.stop();
    if (deviceOpen_) {
        device_->stop();
        device_->close();
    }
}

bool AudioSystem::readPlayPosition(std::uint64_t& frames) {
    if (!device_->position(frames)) return false;
    // A whole ring or more since the last read: the device has replayed at least one stale lap.
    const std::uint64_t ringFrames = static_cast<std::uint64_t>(state_.ring.ringFrames());
    if (ringFrames > 0 && frames >= lastPosition_) {
        const std::uint64_t laps = (frames - lastPosition_) / ringFrames;
        staleLaps_ += laps;
        staleFrames_ += laps * ringFrames;
    }
    lastPosition_ = frames;
    noteProgress(frames);
    return true;
}

void AudioSystem::noteProgress(std::uint64_t frames) {
    // A playing device takes frames all the time; one that stops for a second plays no sound of ours,
    // whatever it reports otherwise. Position 0 is where every stream starts, so it is no progress.
    const std::uint32_t now = tick_();
    if (frames != progressPosition_) {
        progressPosition_ = frames;
        lastProgressTick_ = now;
        stalled_ = false;
        return;
    }
    if (stalled_ || tickDistance(now, lastProgressTick_) < kStallMs) return;
    stalled_ = true;
    ++stalls_;
    if (!stallSaid_) stallToSay_ = true;
}

std::uint64_t AudioSystem::xruns() const {
    return closedXruns_ + (deviceOpen_ ? device_->xruns() : 0);
}

void AudioSystem::renderIfDue() {
    if (state_.speakerOn == 0) return;
    const std::uint32_t now = tick_();
    // A device that has failed is handed to the render loop at once, whose failed position read stops the
    // sound: within one sound-timer tick instead of up to 100 ms.
    if (tickDistance(now, lastRenderTick_) < kRenderSpacingMs && !(deviceOpen_ && device_->failed())) return;
    ++renders_;
    if (takeFirstFramePending_) {
        takeFirstFramePending_ = false;
        hooks_.takeFirstFrame();
    }
    renderBlock(state_, *host_);
    lastRenderTick_ = now;
    spoolRecording();
    // Said after the render, and marked said first: the message box runs the event loop, which renders.
    if (stallToSay_ && deviceOpen_) {
        stallToSay_ = false;
        stallSaid_ = true;
        hooks_.showMessage(kStalledMessage);
    }
}

void AudioSystem::startSound() {
    if (!audioReady_) return;
    openAudio();
    lastRenderTick_ = tick_();
    state_.writePos = 0;
    state_.lastFramePos = 0;
    timer_.start(kSoundTimerMs);
}

void AudioSystem::stopSound() {
    if (audioReady_) {
        timer_.stop();
        closeAudio();
    }
    state_.speakerOn = 0;
}

void AudioSystem::startStartupTimer() {
    startupPending_ = 1;
    timer_.start(kStartupTimerMs);
}

void AudioSystem::onSoundTick() {
    if (startupPending_ == 0) {
        renderIfDue();
        // A render the mouse or another event brought on moves the next one: wake up exactly then.
        if (timer_.isActive()) {
            // Overdue (the render could not run): ask again at the old pace.
            const std::int32_t since = tickDistance(tick_(), lastRenderTick_);
            const int left = since >= kRenderSpacingMs ? kSoundTimerMs
                             : since < 0               ? kRenderSpacingMs
                                                       : kRenderSpacingMs - static_cast<int>(since);
            if (left != timer_.interval()) timer_.start(left);
        }
        return;
    }
    startupPending_ = 0;
    timer_.stop();
    hooks_.firstTick();
    installMouseHook();
}

void AudioSystem::installMouseHook() {
    if (mouseHook_) removeMouseHook();
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    mouseHook_ = std::make_unique<MouseHook>(*this);
    app->installEventFilter(mouseHook_.get());
}

void AudioSystem::removeMouseHook() {
    if (!mouseHook_) return;
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(mouseHook_.get());
    mouseHook_.reset();
}

namespace {
// Notes that a widget's paint event has been delivered.
class PaintWatch : public QObject {
  public:
    bool painted = false;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};
}  // namespace

void AudioSystem::pumpUntilPainted(QWidget* window) {
    // Re-entered from an event it dispatches, or asked from inside a paint: Qt forbids the nested loop.
    if (pumping_ || (window && window->paintingActive())) return;
    QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
    if (!dispatcher) return;
    pumping_ = true;
    PaintWatch watch;
    // An event dispatched here may delete the window.
    QPointer<QWidget> watched(window);
    if (window) window->installEventFilter(&watch);
    const std::uint32_t start = tick_();
    while (dispatcher->processEvents(QEventLoop::AllEvents)) {
        if (watch.painted) break;
        if (static_cast<std::uint32_t>(tick_() - start) > kPumpLimitMs) break;
        renderIfDue();
    }
    if (watched) watched->removeEventFilter(&watch);
    pumping_ = false;
}

std::string AudioSystem::statsText() const {
    return "Stale laps: " + std::to_string(staleLaps_) + " (" + std::to_string(staleFrames_) +
           " stale frames), renders: " + std::to_string(renders_) + ", stalls: " + std::to_string(stalls_) +
           ", xruns: " + std::to_string(xruns());
}

}  // namespace voltina
