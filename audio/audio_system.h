#pragma once
// The audio layer: sine table and ring ownership, the wave-output device, the sample-rate change, and
// the render scheduling (render gate, sound timer, mouse hook, message pump).
// GUI thread only: every member of AudioSystem is called on the thread that owns the EngineState.

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/audio_hooks.h"
#include "audio/ring_render.h"
#include "audio/take_spool.h"
#include "audio/wave_device.h"
#include "engine/engine_state.h"

class QWidget;

namespace voltina {

class AudioSystem {
  public:
    AudioSystem(EngineState& state, AudioHooks& hooks, std::unique_ptr<WaveDevice> device);
    ~AudioSystem();
    AudioSystem(const AudioSystem&) = delete;
    AudioSystem& operator=(const AudioSystem&) = delete;

    // ---- Output device and sample rate ----
    // Rebuilds the sine table and the ring for state.rateParam and checks the device. True on success.
    bool initAudio();
    void openAudio();
    void closeAudio();
    // Stops the sound and rebuilds the tables, the ring and the device's format for `newRateParam`
    // (11026, 22051 or 44101); when that fails, for the rate it had. What else depends on the rate (the
    // MIDI input, the sample, the undo history) is the program's (app/rate_change).
    void changeRate(int newRateParam);
    void showMemoryError(const std::string& code);

    bool audioReady() const { return audioReady_; }
    void setAudioReady(bool ready) { audioReady_ = ready; }
    bool deviceOpen() const { return deviceOpen_; }
    const DeviceFormat& waveFormat() const { return waveFormat_; }
    const DeviceCaps& deviceCaps() const { return deviceCaps_; }
    WaveDevice& device() { return *device_; }

    // ---- Render scheduling ----
    // The render gate: at most one render per 100 ms, only while the speaker is on.
    void renderIfDue();
    void startSound();
    void stopSound();
    // The timer procedure of both the start-up timer and the sound timer.
    void onSoundTick();
    // The mouse hook's procedure: every mouse event on the thread.
    void onMouseActivity() { renderIfDue(); }
    void installMouseHook();
    void removeMouseHook();
    bool mouseHookInstalled() const { return mouseHook_ != nullptr; }
    // The panel's set-up: startupPending = 1 and the 300 ms start-up timer.
    void startStartupTimer();
    // Delivers pending events until `window` has been painted, nothing is pending or 3000 ms have passed,
    // rendering between events. Never call it from inside a paint event.
    void pumpUntilPainted(QWidget* window);

    int timerId() const { return timer_.isActive() ? timer_.timerId() : 0; }
    bool soundTimerActive() const { return timer_.isActive() && !startupPending_; }
    int startupPending() const { return startupPending_; }
    std::uint32_t lastRenderTick() const { return lastRenderTick_; }

    // The scope and the level meter, shown every frame rendered from now on; null for no one.
    void setRenderWatch(RenderWatch* watch) { watch_ = watch; }

    // ---- Figures for --stats ----
    // Laps the device replayed because no render came for a whole ring, and the frames they held.
    std::uint64_t staleLaps() const { return staleLaps_; }
    std::uint64_t staleFrames() const { return staleFrames_; }
    std::uint64_t renders() const { return renders_; }
    // Times the device stopped taking frames for a second or more while playing (a stalled graph, periods
    // the sound library skipped), and the xruns the server reported.
    std::uint64_t stalls() const { return stalls_; }
    std::uint64_t xruns() const;
    std::string statsText() const;

    // ---- The take on disk ----
    // Where takes are spooled while they are recorded (by default the user's data folder).
    void setSpoolFolder(std::string folder) { spoolFolder_ = std::move(folder); }
    const TakeSpool& spool() const { return spool_; }
    // Bytes of stereo frames in the current (or last) take: handed to the spool or held in memory.
    std::uint64_t takeBytes() const { return spooledBytes_ + state_.recording.length(); }
    // Frames rendered into the current take so far: the frame the next edit or MIDI message acts at.
    std::uint64_t takeFrames() const { return (takeBytesHandedOn_ + state_.recording.length()) / 2; }

    // ---- For tests and benchmarks ----
    void setTickSource(std::function<std::uint32_t()> tick) { tick_ = std::move(tick); }
    // Asked before each table or ring allocation with its size in bytes; false makes it fail.
    void setAllocationCheck(std::function<bool(std::size_t)> check) { allocationCheck_ = std::move(check); }

  private:
    class Host;       // the render loop's view of the device
    class MouseHook;  // event filter on the application: every mouse event
    bool initFailure();
    bool ringPlayable() const;
    bool allocationAllowed(std::size_t bytes) const { return !allocationCheck_ || allocationCheck_(bytes); }
    bool readPlayPosition(std::uint64_t& frames);
    void noteProgress(std::uint64_t frames);
    // The take: begun with the sound, fed by the render gate, finished before the name is asked.
    void beginSpool();
    // `sayNow`: a failure is shown at once (outside the render gate) rather than after the current event.
    void spoolRecording(bool sayNow = false);
    void finishSpool();
    // Shows a message once the current event is done (never from inside the render gate).
    void sayLater(const std::string& text);

    EngineState& state_;
    AudioHooks& hooks_;
    std::unique_ptr<WaveDevice> device_;
    std::unique_ptr<Host> host_;
    RenderWatch* watch_ = nullptr;

    bool audioReady_ = false;
    bool deviceOpen_ = false;  // a stream is open: set from open until a successful close
    DeviceFormat waveFormat_;
    DeviceCaps deviceCaps_;

    QTimer timer_;  // the start-up timer, then the sound timer
    int startupPending_ = 0;
    std::uint32_t lastRenderTick_ = 0;
    std::function<std::uint32_t()> tick_;
    std::function<bool(std::size_t)> allocationCheck_;

    std::unique_ptr<MouseHook> mouseHook_;
    bool pumping_ = false;

    TakeSpool spool_;
    std::string spoolFolder_ = unsavedTakeFolder();
    bool spoolStopped_ = false;
    std::uint64_t spooledBytes_ = 0;       // the take ends where the disk failed or fell too far behind
    std::uint64_t takeBytesHandedOn_ = 0;  // rendered into the take and gone from its memory block
    bool takeOpen_ = false;                // between takeBegins and takeEnds
    bool takeFirstFramePending_ = false;

    std::uint64_t lastPosition_ = 0;
    std::uint64_t staleLaps_ = 0;
    std::uint64_t staleFrames_ = 0;
    std::uint64_t renders_ = 0;
    // Silence watch: the last tick at which the play position moved.
    std::uint32_t lastProgressTick_ = 0;
    std::uint64_t progressPosition_ = 0;
    bool stalled_ = false;
    bool stallSaid_ = false;
    bool stallToSay_ = false;
    std::uint64_t stalls_ = 0;
    std::uint64_t closedXruns_ = 0;  // of the streams already closed
};

}  // namespace voltina
