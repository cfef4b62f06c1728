#pragma once
// One instance of the plugin: the ports, the patch that plays, the worker's loads and the state.
//
// Threads, as LV2 names them: run() and workResponse() on the audio thread, never allocating, locking,
// waiting or logging; work() on the worker's thread (loads, frees, messages), or inside run() when the host
// runs its worker synchronously; save() on any other thread, possibly while run() plays; restore from any
// thread but run()'s (it waits for a block under way before freeing the patch it replaces); instantiate
// and the destructor while nothing else runs.

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "plugin/plugin_edits.h"
#include "plugin/plugin_patch.h"
#include "plugin/plugin_uris.h"

namespace voltina {

enum PluginPort : std::uint32_t {
    kControlPort = 0,
    kNotifyPort = 1,
    kLeftPort = 2,
    kRightPort = 3,
    kLatencyPort = 4
};

class VoltinaInstance {
  public:
    // Null when the host lacks a required feature or the start-up patch cannot be built.
    static VoltinaInstance* create(double rate, const LV2_Feature* const* features);
    ~VoltinaInstance();

    void connect(std::uint32_t port, void* data);
    void run(std::uint32_t frames);

    LV2_Worker_Status work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                           std::uint32_t size, const void* data);
    LV2_Worker_Status workResponse(std::uint32_t size, const void* data);

    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle,
                          const LV2_Feature* const* features);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                             const LV2_Feature* const* features);

  private:
    VoltinaInstance() = default;

    enum class Work : std::uint32_t { Load, Free, Loaded, Refused, Complain, BuildTwin, TwinReady };
    // Why run() refused a configuration the host sent, said by the worker since run() may not log.
    enum class Complaint : std::uint32_t {
        EmptyPath,
        PathTooLong,
        NotAPath,
        WindowEditUnread,
        WindowEditRefused
    };
    struct ComplaintMessage {
        Work kind;
        Complaint complaint;
        std::uint32_t bytes;
    };
    // The longest configuration path a host can set; a longer one is refused.
    static constexpr std::size_t kMaxPathBytes = 4096;
    struct LoadRequest {
        Work kind = Work::Load;
        std::uint32_t ticket = 0;  // echoed in the answer
        char path[kMaxPathBytes + 1] = {};
    };
    struct PatchMessage {
        Work kind;
        LoadedPatch* patch;
        std::uint64_t id = 0;      // BuildTwin, TwinReady: the patch the twin is for
        std::uint32_t ticket = 0;  // Loaded, Refused, TwinReady: the request's, echoed
    };
    // The requests whose answers are awaited. An answer is taken once, and only when awaited: a host
    // whose worker queue hands a message over twice (or garbles one) must not make the plugin install
    // or free a patch twice. Audio thread only.
    static constexpr int kTickets = 16;
    std::uint32_t takeTicket();
    bool redeem(std::uint32_t ticket);
    static constexpr int kPendingFrees = 8;

    // Applies the host's messages to one patch as its engine reaches their frames.
    struct PatchSink final : TimedMessageSink {
        PatchSink(VoltinaInstance& instance, LoadedPatch& patch) : instance(instance), patch(patch) {}
        void deliver(EngineState& state, const TimedMessage& message) override;
        VoltinaInstance& instance;
        LoadedPatch& patch;
    };

    void handleEvent(const LV2_Atom_Event* event, std::uint32_t frame);
    void handleSet(const LV2_Atom_Object* object, std::uint32_t frame);
    void handlePosition(const LV2_Atom_Object* object, std::uint32_t frame);
    // An edit the plugin's window made (instance_window.cpp): kept, and applied when the engine reaches
    // its frame, as notes are.
    void handleWindowEdit(const LV2_Atom* atom);
    void applyWindowEdit(LoadedPatch& patch, std::uint32_t slot);
    // After an edit: the parameters and cords the state keeps, and the host told of what changed.
    void takeEditedValues(LoadedPatch& patch);
    // The window's cords and "No wave" (which no parameter holds) put back in a patch the transport
    // starts again.
    void keepWindowEdits(const LoadedPatch& from, LoadedPatch& to);
    // The whole panel for the window (plugin_edits.h's PanelBody) on the notify port.
    void notifyPanel(std::uint32_t frame);
    // The playing patch starts again from its first frame, keeping the parameters' values.
    void restartPatch();
    LoadedPatch* playing() const { return active_.load(std::memory_order_relaxed); }
    void install(LoadedPatch* patch);
    void freeLater(LoadedPatch* patch);
    void retryFrees();
    // patch:Set of one property (or all) on the notify port, for the host's controls.
    void notifyParameter(int parameter, std::uint32_t frame);
    void notifyPath(std::uint32_t frame);
    void notifyAll(std::uint32_t frame);
    // The parameters the engine has taken a value for since they were last sent.
    void notifyTaken(std::uint32_t frame);
    void logError(const std::string& text);
    void complain(Complaint complaint, std::uint32_t bytes);

    PluginUris uris_;
    LV2_URID_Map* map_ = nullptr;
    LV2_Worker_Schedule* schedule_ = nullptr;
    LV2_Log_Logger logger_{};
    LV2_Atom_Forge forge_{};
    double rate_ = 44100;

    const LV2_Atom_Sequence* control_ = nullptr;
    LV2_Atom_Sequence* notify_ = nullptr;
    float* left_ = nullptr;
    float* right_ = nullptr;
    float* latency_ = nullptr;

    // The patch that plays. The audio thread replaces it; the old one is freed by the worker while
    // holding savingMutex_, which save() holds while it reads the patch, so it never reads a freed one.
    std::atomic<LoadedPatch*> active_{nullptr};
    // A host may run the worker synchronously inside run() (Ardour does while it exports): a load then
    // answers, and the patch it replaces would be freed, while run() still plays that patch. A patch that
    // arrives during run() waits here and is installed when the block is done. Audio thread only.
    bool inRun_ = false;
    LoadedPatch* arrived_ = nullptr;
    // True while run() plays, so that a restore from another thread frees the patch it replaced only
    // once no block plays it any more.
    std::atomic<bool> running_{false};
    // The host's transport as its time:Position says: the patch starts again whenever the transport
    // starts rolling, jumps, or starts the pre-roll of a host that compensates for latency, so a bounce
    // plays the same bytes however long the session played before it. Audio thread only.
    double transportSpeed_ = 0.0;
    double transportFrame_ = 0.0;  // where the transport stands at the start of the next block
    bool transportKnown_ = false;
    std::uint64_t hostClock_ = 0;      // frames run since instantiation, at the block's start
    double positionFrame_ = 0.0;       // the last position the host gave
    std::uint64_t positionClock_ = 0;  // and when
    bool preRolling_ = false;          // stopped, with the position moving on since the last start
    bool startedAtLastPosition_ = false;
    std::mutex savingMutex_;
    LoadedPatch* pendingFrees_[kPendingFrees] = {};
    std::atomic<bool> notifyAll_{true};
    std::uint64_t taken_ = 0;  // one bit a parameter; audio thread only
    static_assert(kParameterCount <= 64, "one bit a parameter");
    LoadRequest request_;
    // The patch the window's Undo, Redo and loads bring, made once so run() fills it in without
    // allocating. Audio thread only.
    std::shared_ptr<PanelPatch> windowPatch_;
    // The window's edits on their way to their engine frame; a slot is taken again only once its edit
    // was applied (or the patch it waited for replaced). Audio thread only.
    struct WindowEdit {
        LV2_URID type = 0;
        std::uint32_t size = 0;
        unsigned char body[sizeof(PatchEditBody)] = {};  // an EditBody or a PatchEditBody, as sent
        bool waiting = false;
    };
    static constexpr std::uint32_t kWindowEdits = 16;
    WindowEdit windowEdits_[kWindowEdits];
    std::uint32_t nextWindowEdit_ = 0;
    bool panelDue_ = false;                 // the host changed a parameter: the window is shown the panel
    std::uint32_t tickets_[kTickets] = {};  // 0: free
    std::uint32_t lastTicket_ = 0;
};

}  // namespace voltina
