#pragma once
// A small LV2 host on lilv, the host library Ardour and jalv are built on: it finds Voltina's bundle
// through LV2_PATH, gives the plugin a URID map, a worker and a log, sends it MIDI and parameter changes
// at frame offsets and keeps what it plays and what it tells the host.
//
// The worker runs between two blocks, as an offline host may: a request made in run() is worked on after
// it returns and its response handed back before the next block. Nothing the host does inside run()
// allocates, so a test can count what the plugin alone allocates there. Or, as Ardour does while it
// exports (freewheeling), the worker runs synchronously: a request is worked on inside schedule_work and
// its response handed back inside respond, both within run().

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/log/log.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "patch/edit.h"

namespace voltina::test {

constexpr const char* kVoltinaUri = "https://voltina.github.io/Voltina/lv2";

// One thing sent to the plugin at a frame counted from the start of the instance's life.
struct HostEvent {
    enum Kind { Midi, SetPath, SetString, SetInt, SetFloat, Transport, Window } kind = Midi;
    std::uint64_t frame = 0;
    std::uint8_t midi[3] = {};
    std::string property;  // the property's name after "#" (SetPath, SetString, SetInt, SetFloat)
    std::string path;
    double value = 0.0;  // Set*: the value; Transport: the speed
    std::int64_t transportFrame = 0;
    std::vector<std::uint8_t> body;  // Window: the atom's body, of type `property` (a URI)

    static HostEvent note(std::uint64_t frame, int status, int key, int velocity);
    static HostEvent setPath(std::uint64_t frame, const std::string& path);
    // The configuration sent as a string, which no file chooser sends.
    static HostEvent setString(std::uint64_t frame, const std::string& text);
    static HostEvent setInt(std::uint64_t frame, const std::string& property, int value);
    static HostEvent setFloat(std::uint64_t frame, const std::string& property, float value);
    // The host's transport (time:Position): rolling at `speed` (0: stopped) from `transportFrame`.
    static HostEvent transport(std::uint64_t frame, double speed, std::int64_t transportFrame);
    // What the plugin's window sends (plugin_edits.h): any atom, as the window's write function passes it.
    static HostEvent window(std::uint64_t frame, const std::string& typeUri, const void* body,
                            std::size_t size);
    // An edit as the window sends it: its numbers, or the whole patch for Undo, Redo and a load.
    static HostEvent windowEdit(std::uint64_t frame, const Edit& edit);
};

// Called around each run() and each work response, for the real-time test's counters.
struct RunWatch {
    virtual ~RunWatch() = default;
    virtual void enter() = 0;
    virtual void leave() = 0;
};

class LilvWorldHolder;

class TestHost {
  public:
    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // False with the reason when the bundle is not found or will not instantiate.
    bool instantiate(double rate, std::string& error);

    // Runs blocks of the given lengths (repeated until `frames` frames are played), delivering the
    // events that fall in each block at their offset; events must be sorted by frame.
    void play(std::uint64_t frames, const std::vector<std::uint32_t>& blocks,
              const std::vector<HostEvent>& events);
    // Everything played so far, as the engine's bytes ((b - 128) / 128 back to b), left then right.
    std::vector<std::uint8_t> playedBytes(std::uint64_t from = 0) const;
    const std::vector<float>& left() const { return left_; }
    // What the plugin's latency port said after the last block.
    float latency() const { return latency_; }
    std::uint64_t frame() const { return frame_; }

    // The last value the plugin notified for each property (by name after "#"), as text. Like Ardour 7,
    // the host takes back only Path and Float values.
    const std::map<std::string, std::string>& notified() const { return notified_; }
    const std::vector<std::string>& logged() const { return logged_; }

    // The plugin's state as Turtle (through lilv, the way a host stores a session), and back.
    std::string saveState(const std::string& folder);
    bool restoreState(const std::string& turtle);

    // The plugin's window, as Ardour, Carla and Qtractor open it: the UI library loaded from the bundle,
    // its external-UI widget shown, run between blocks. What it writes reaches the plugin at the start of
    // the next block; windowWrites() says where each went. False with the reason when it cannot open.
    bool openWindow(std::string& error);
    // The widget's run(), as a host's UI timer calls it.
    void idleWindow();
    // Hidden and unloaded, as a host closes a plugin's window.
    void closeWindow();
    // The widget said it closed (ui_closed).
    bool windowSaidClosed() const { return windowClosed_; }
    const std::vector<HostEvent>& windowWrites() const { return windowWrites_; }

    void setWatch(RunWatch* watch) { watch_ = watch; }
    void setSynchronousWorker(bool synchronous) { synchronous_ = synchronous; }
    // Hands every worker answer to the plugin twice, as a host whose queue misbehaves might.
    void setDuplicateResponses(bool duplicate) { duplicateResponses_ = duplicate; }

  private:
    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri);
    static const char* unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid);
    static LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle handle, std::uint32_t size,
                                          const void* data);
    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, std::uint32_t size, const void* data);
    static int logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...);
    static int logVprintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args);

    void runBlock(std::uint32_t frames, const std::vector<HostEvent>& events, std::size_t& next);
    void forgeEvent(LV2_Atom_Forge& forge, const HostEvent& event, std::uint32_t offset);
    void readNotifications();
    void doWork();
    static void windowWrite(void* controller, std::uint32_t port, std::uint32_t size, std::uint32_t format,
                            const void* buffer);
    static void windowClosed(void* controller);

    // A fixed queue of messages between the plugin and the worker: copying in never allocates.
    struct MessageQueue {
        static constexpr std::size_t kCount = 16;
        static constexpr std::size_t kBytes = 8192;
        std::uint32_t sizes[kCount] = {};
        std::uint8_t data[kCount][kBytes] = {};
        std::size_t used = 0;
        bool push(std::uint32_t size, const void* bytes);
    };

    std::vector<std::string> uris_;
    std::map<std::string, LV2_URID> ids_;
    LV2_URID_Map map_{};
    LV2_URID_Unmap unmap_{};
    LV2_Worker_Schedule schedule_{};
    LV2_Log_Log log_{};
    LV2_Feature mapFeature_{}, unmapFeature_{}, scheduleFeature_{}, logFeature_{};
    const LV2_Feature* features_[5] = {};

    LilvWorld* world_ = nullptr;
    const LilvPlugin* plugin_ = nullptr;
    LilvInstance* instance_ = nullptr;
    const LV2_Worker_Interface* worker_ = nullptr;
    double rate_ = 0;

    std::vector<std::uint64_t> control_;  // 8-byte aligned atom buffers
    std::vector<std::uint64_t> notify_;
    std::vector<float> blockLeft_, blockRight_;
    float latency_ = -1.0f;
    std::vector<float> left_, right_;
    std::uint64_t frame_ = 0;
    std::unique_ptr<MessageQueue> requests_, responses_, working_;
    std::map<std::string, std::string> notified_;
    std::vector<std::string> logged_;
    RunWatch* watch_ = nullptr;
    bool synchronous_ = false;
    bool duplicateResponses_ = false;

    struct WindowLibrary;
    std::unique_ptr<WindowLibrary> window_;
    std::vector<HostEvent> windowPending_, windowWrites_;
    bool windowClosed_ = false;
};

}  // namespace voltina::test
