#pragma once
// The performance of the take being recorded: the engine's state at the take's first frame, then every
// edit and every MIDI message with the frame it acted at, written as the take's NAME.vtk (the events
// file's form, see panel_events.h) from which voltina-render plays the take again byte for byte.
// An edit between two renders acts at the first frame of the next render, and so does a MIDI message,
// which the panel plays between renders too: the frame of both is the count of frames the take had when
// it came. While the take records, the text so far is also appended to a file beside the take's spool,
// so that a take recovered after a crash has its performance.
// Plain C++. GUI thread only (MIDI messages reach it there, through the MIDI delivery).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_state.h"
#include "patch/edit.h"

namespace voltina {

class PerformanceCapture {
  public:
    using FrameCount = std::function<std::uint64_t()>;  // the take's frames so far

    PerformanceCapture() = default;
    ~PerformanceCapture();
    PerformanceCapture(const PerformanceCapture&) = delete;
    PerformanceCapture& operator=(const PerformanceCapture&) = delete;

    // A take begins. `spoolPath` is where its performance is spooled ("" keeps it in memory only).
    void begin(const std::string& spoolPath, FrameCount frames);
    // Just before the take's first frame: everything after is played from this state. What was done
    // before (between the take's start and its first render) is part of it.
    void captureStart(const EngineState& s, const std::string& samplePath);
    // After the edit or the message acted on the engine; ignored outside a take.
    void edit(const Edit& edit);
    void midi(std::uint32_t packed);
    // The take is over: nothing more is captured; the text stays for saving.
    void end();
    // Forgets the take (its spool file stays: the take's owner removes it with the take).
    void clear();

    bool capturing() const { return capturing_; }
    bool hasStart() const { return started_; }
    // The whole performance of a take that holds `frames` frames.
    std::string text(std::uint64_t frames) const;
    // Why the spool file stopped following the take (empty while it follows): the performance is then
    // kept in memory only.
    const std::string& spoolProblem() const { return spoolProblem_; }
    const std::string& spoolPath() const { return spoolPath_; }

  private:
    void add(std::uint64_t frame, const Edit* edit, std::uint32_t midi);
    int sampleId(const std::shared_ptr<SampleRecord>& sample);
    void append(const std::string& part);

    bool capturing_ = false;
    bool started_ = false;
    FrameCount frames_;
    int sampleRate_ = 0;
    std::size_t events_ = 0;
    std::string text_;
    std::string spoolPath_;
    int fd_ = -1;
    std::string spoolProblem_;
    // Every sample the take has met, kept so that no other can take its address; its number is its
    // place here plus one.
    std::vector<std::shared_ptr<SampleRecord>> samples_;
};

// The performance file of a take saved as `wavePath`: the same name with ".vtk" for its extension.
std::string performancePathFor(const std::string& wavePath);

// The whole performance from a spool file's text (a take recovered after a crash or a kill): an event
// cut short by the crash is dropped and the take's length closes it. False when the text does not even
// hold the start state (the program ended before the take's first frame).
bool closeSpooledPerformance(const std::string& spooled, std::uint64_t frames, std::string& out);

// Writes a performance through a temporary file renamed over `path`.
bool savePerformance(const std::string& path, const std::string& text, std::string& error);

}  // namespace voltina
