#pragma once
// Helpers of the scenario tests: the captured sink monitor, the frame-by-frame comparison with what the
// engine recorded, and hooks that keep what the audio layer asks for.

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "audio/audio_system.h"
#include "audio/backend_choice.h"

namespace voltina {

// parecord --raw on the test sink's monitor, at the sink's rate: s16le stereo.
class MonitorCapture {
  public:
    ~MonitorCapture();
    bool start(const std::string& path, int rate);
    // Stops the capture and returns its interleaved samples.
    std::vector<std::int16_t> stop();

  private:
    pid_t pid_ = -1;
    std::string path_;
};

struct CaptureComparison {
    bool found = false;            // the start of the recording was found in the capture
    std::string problem;           // empty when every compared frame matched
    std::size_t startFrame = 0;    // capture frame holding recorded frame 0
    std::size_t silentBefore = 0;  // silent capture frames just before it
    std::size_t compared = 0;      // recorded frames matched, in order
    int underrunRuns = 0;          // runs of zeros the server inserted
    std::size_t underrunFrames = 0;
    int lostCycles = 0;  // blocks of up to `cycleFrames` dropped or played twice between two clients
};

// Walks the capture and the recording side by side. A run of zero frames in the capture that the
// recording does not have is the server filling an underrun, counted apart. With `cycleFrames`, a graph
// cycle that one of two clients lost (up to that many frames missing from the capture, or extra in it) is
// counted apart too. Any other difference is a frame dropped, repeated or changed, and ends the walk with
// `problem` set.
CaptureComparison compareCapture(const std::vector<std::int16_t>& capture,
                                 const std::vector<std::uint8_t>& recorded, std::size_t cycleFrames = 0);

class ScenarioHooks : public AudioHooks {
  public:
    explicit ScenarioHooks(EngineState& state) : state_(state) {}
    std::vector<std::string> messages;
    std::vector<std::uint8_t> saved;
    int saves = 0;

    void showMessage(const std::string& text) override { messages.push_back(text); }
    void setSpeakerLit(bool) override {}
    void saveRecording() override {
        ++saves;
        // The take as the program saves it: the spool's sound bytes, then any still in memory.
        saved.clear();
        const std::string spool = state_.recording.spoolFile();
        if (!spool.empty()) {
            const UnsavedTake take = readUnsavedTake(spool);
            std::ifstream in(spool, std::ios::binary);
            in.seekg(static_cast<std::streamoff>(kWaveHeaderBytes));
            saved.resize(take.dataLength);
            in.read(reinterpret_cast<char*>(saved.data()), static_cast<std::streamsize>(saved.size()));
            std::remove(spool.c_str());
        }
        saved.insert(saved.end(), state_.recording.bytes().begin(), state_.recording.bytes().end());
        state_.recording.clear();
    }
    void firstTick() override {}

  private:
    EngineState& state_;
};

// The program's start-up, less the window: tables, defaults and the default patch on a real backend, at
// `rate` (0 keeps the start-up rate), with the render gate on the application's event loop.
class ScenarioPlayer {
  public:
    ScenarioPlayer(AudioBackend backend, int rate);
    ~ScenarioPlayer();
    ScenarioPlayer(const ScenarioPlayer&) = delete;
    ScenarioPlayer& operator=(const ScenarioPlayer&) = delete;
    // What the H.P switch does: the ring silenced, the oscillators restarted, then the sound started.
    void switchOn(bool record);
    // The first message shown, or nothing.
    std::string firstMessage() const { return hooks.messages.empty() ? "" : hooks.messages[0]; }

    EngineState state;
    ScenarioHooks hooks;
    AudioSystem audio;
};

// Runs Qt's event loop for `ms` milliseconds.
void runEventLoop(int ms);

}  // namespace voltina
