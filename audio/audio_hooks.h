#pragma once
// What the audio layer asks of the program around it (the panel implements it; tests fake it) and the
// audio layer's messages. Plain C++, so the panel compiles without the scheduler.
// GUI thread only.

#include <string>

namespace voltina {

class AudioHooks {
  public:
    virtual ~AudioHooks() = default;
    virtual void showMessage(const std::string& text) = 0;  // the program's message box
    virtual void setSpeakerLit(bool lit) = 0;               // the H.P switch's lamp
    // Offered by closeAudio when recordOn is 1 or a recording holds frames (recordOn can drop to 0 when the
    // recording memory cannot grow, and what was recorded is still offered).
    virtual void saveRecording() = 0;
    virtual void firstTick() = 0;  // start-up tick: refresh panel, rate checks, H.P on (through its command)
    // The take's life, for whoever keeps its performance: it begins with the sound (`spoolPath` is the
    // file its frames are spooled to, "" when they stay in memory), its first frame is about to be
    // rendered (the engine's state is the one it starts from), it ends before it is offered for saving.
    virtual void takeBegins(const std::string& spoolPath) { (void)spoolPath; }
    virtual void takeFirstFrame() {}
    virtual void takeEnds() {}
};

constexpr const char* kNoCardMessage = "Impossible to detect an audio card";
constexpr const char* kFormatMessage = "The audio-card does not support the required format";
constexpr const char* kMonoMessage = "Well ! This is not a stereo card, no fun with auto-pan";
constexpr const char* kInitMessage = "Impossible to initialize Voltina";
constexpr const char* kOpenMessage = "Impossible to open the audio-driver";
// Shown once per opened stream when the device stops taking frames from the ring for a second.
constexpr const char* kStalledMessage = "Impossible to play the sound: the audio-driver has stopped";
constexpr const char* kMemoryErrorPrefix = "Memory Error ";

}  // namespace voltina
