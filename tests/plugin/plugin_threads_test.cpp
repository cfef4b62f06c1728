// The plugin among a host's threads, as a DAW runs it: the audio thread plays blocks with parameter
// changes and configuration loads, a worker thread loads and frees, and a third thread saves the state
// meanwhile, as hosts may while the sound plays. Built under ThreadSanitizer by scripts/tsan.
#include <gtest/gtest.h>
#include <lv2/atom/forge.h>
#include <lv2/patch/patch.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/configuration.h"
#include "plugin/plugin_edits.h"
#include "plugin/plugin_uris.h"
#include "plugin/voltina_instance.h"
#include "tests/plugin/plugin_fixture.h"

namespace voltina::test {
namespace {

using Message = std::vector<std::uint8_t>;

// A host's side of the worker: queues with locks, which only the host's threads take.
class ThreadedHost {
  public:
    ThreadedHost() {
        features_[0] = &mapFeature_;
        features_[1] = &scheduleFeature_;
        features_[2] = nullptr;
    }
    const LV2_Feature* const* features() const { return features_; }
    LV2_URID_Map* map() { return &map_; }

    void startWorker(VoltinaInstance* plugin) {
        worker_ = std::thread([this, plugin] {
            std::unique_lock<std::mutex> lock(mutex_);
            while (true) {
                wake_.wait(lock, [this] { return stop_ || !requests_.empty(); });
                if (requests_.empty()) return;
                Message m = std::move(requests_.front());
                requests_.pop_front();
                lock.unlock();
                plugin->work(&ThreadedHost::respond, this, static_cast<std::uint32_t>(m.size()), m.data());
                lock.lock();
            }
        });
    }
    void stopWorker() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        worker_.join();
    }
    // The audio thread, after each block.
    void deliverResponses(VoltinaInstance* plugin) {
        std::deque<Message> ready;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ready.swap(responses_);
        }
        for (const Message& m : ready) plugin->workResponse(static_cast<std::uint32_t>(m.size()), m.data());
        delivered_ += ready.size();
    }
    // Responses handed to the plugin so far; only loads answer.
    std::size_t delivered() const { return delivered_; }

  private:
    static LV2_URID mapUri(LV2_URID_Map_Handle h, const char* uri) {
        auto* host = static_cast<ThreadedHost*>(h);
        const std::lock_guard<std::mutex> lock(host->mapMutex_);
        return host->ids_.emplace(uri, static_cast<LV2_URID>(host->ids_.size() + 1)).first->second;
    }
    static LV2_Worker_Status schedule(LV2_Worker_Schedule_Handle h, std::uint32_t size, const void* data) {
        auto* host = static_cast<ThreadedHost*>(h);
        {
            const std::lock_guard<std::mutex> lock(host->mutex_);
            host->requests_.emplace_back(static_cast<const std::uint8_t*>(data),
                                         static_cast<const std::uint8_t*>(data) + size);
        }
        host->wake_.notify_one();
        return LV2_WORKER_SUCCESS;
    }
    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle h, std::uint32_t size, const void* data) {
        auto* host = static_cast<ThreadedHost*>(h);
        const std::lock_guard<std::mutex> lock(host->mutex_);
        host->responses_.emplace_back(static_cast<const std::uint8_t*>(data),
                                      static_cast<const std::uint8_t*>(data) + size);
        return LV2_WORKER_SUCCESS;
    }

    std::size_t delivered_ = 0;  // the audio thread's own
    std::mutex mapMutex_;
    std::map<std::string, LV2_URID> ids_;
    LV2_URID_Map map_{this, &ThreadedHost::mapUri};
    LV2_Worker_Schedule schedule_{this, &ThreadedHost::schedule};
    LV2_Feature mapFeature_{LV2_URID__map, &map_};
    LV2_Feature scheduleFeature_{LV2_WORKER__schedule, &schedule_};
    const LV2_Feature* features_[3] = {};

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Message> requests_, responses_;
    bool stop_ = false;
    std::thread worker_;
};

LV2_State_Status storeText(LV2_State_Handle handle, std::uint32_t key, const void* value, std::size_t size,
                           std::uint32_t, std::uint32_t) {
    auto* saved = static_cast<std::map<std::uint32_t, std::string>*>(handle);
    (*saved)[key] = std::string(static_cast<const char*>(value), size);
    return LV2_STATE_SUCCESS;
}

TEST(PluginThreads, SavingWhilePlayingAndLoadingReadsWholePatches) {
    PluginFiles files;
    Configuration first = files.everyModule(22050);
    Configuration second = first;
    second.oscType[1] = kSquare;
    second.hasWave = false;
    const std::string paths[2] = {files.writeConfiguration("first.json", first),
                                  files.writeConfiguration("second.json", second)};

    ThreadedHost host;
    std::unique_ptr<VoltinaInstance> plugin(VoltinaInstance::create(22050, host.features()));
    ASSERT_TRUE(plugin);
    PluginUris uris;
    uris.map(host.map());
    std::vector<std::uint64_t> control(1024), notify(1024);
    std::vector<float> left(256), right(256);
    plugin->connect(kControlPort, control.data());
    plugin->connect(kNotifyPort, notify.data());
    plugin->connect(kLeftPort, left.data());
    plugin->connect(kRightPort, right.data());
    host.startWorker(plugin.get());

    std::atomic<bool> playing{true};
    std::atomic<std::size_t> saves{0};
    std::vector<std::string> saved;
    std::thread saver([&] {
        while (playing.load()) {
            std::map<std::uint32_t, std::string> state;
            plugin->save(&storeText, &state, host.features());
            saved.push_back(state[uris.configurationText]);
            saves.fetch_add(1);
        }
    });

    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, host.map());
    const auto playEmptyBlock = [&] {
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(control.data()),
                                  control.size() * 8);
        LV2_Atom_Forge_Frame sequence;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        lv2_atom_forge_pop(&forge, &sequence);
        reinterpret_cast<LV2_Atom_Sequence*>(notify.data())->atom.size =
            static_cast<std::uint32_t>(notify.size() * 8 - sizeof(LV2_Atom));
        plugin->run(256);
        host.deliverResponses(plugin.get());
        std::this_thread::yield();
    };
    std::size_t loadsSent = 0;
    for (int block = 0; block < 400; ++block) {
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(control.data()),
                                  control.size() * 8);
        LV2_Atom_Forge_Frame sequence, object;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        lv2_atom_forge_frame_time(&forge, block % 256);
        lv2_atom_forge_object(&forge, &object, 0, uris.patchSet);
        lv2_atom_forge_key(&forge, uris.patchProperty);
        if (block % 40 == 0) {
            const std::string& path = paths[(block / 40) % 2];
            lv2_atom_forge_urid(&forge, uris.configuration);
            lv2_atom_forge_key(&forge, uris.patchValue);
            lv2_atom_forge_path(&forge, path.c_str(), static_cast<std::uint32_t>(path.size() + 1));
            ++loadsSent;
        } else {
            lv2_atom_forge_urid(&forge, uris.parameters[16 + block % 8]);  // the levels
            lv2_atom_forge_key(&forge, uris.patchValue);
            lv2_atom_forge_int(&forge, block % 129);
        }
        lv2_atom_forge_pop(&forge, &object);
        // The window swaps the cords of inputs 304 and 305, and Undo swaps them back: the saves read the
        // cords while run() writes them, and never see one output feed two inputs.
        PanelPatch moved = configurationPatch((block / 40) % 2 == 0 ? first : second);
        if (block % 2 == 1) moved.cordSource[4] = std::exchange(moved.cordSource[3], moved.cordSource[4]);
        PatchEditBody edit;
        ASSERT_TRUE(patchEditBody(Edit::restore(moved), edit));
        lv2_atom_forge_frame_time(&forge, block % 256);
        lv2_atom_forge_atom(&forge, sizeof edit, uris.windowPatchEdit);
        lv2_atom_forge_write(&forge, &edit, sizeof edit);
        lv2_atom_forge_pop(&forge, &sequence);
        reinterpret_cast<LV2_Atom_Sequence*>(notify.data())->atom.size =
            static_cast<std::uint32_t>(notify.size() * 8 - sizeof(LV2_Atom));
        plugin->run(256);
        host.deliverResponses(plugin.get());
        std::this_thread::yield();
        if (block % 40 == 0) {
            // The host plays on while the worker reads the file, then a save or two runs beside the new
            // patch: however fast the blocks go, each load is played and saved.
            while (host.delivered() < loadsSent) playEmptyBlock();
            const std::size_t after = saves.load();
            while (saves.load() < after + 2) playEmptyBlock();
        }
    }
    playing.store(false);
    saver.join();
    host.stopWorker();

    ASSERT_FALSE(saved.empty());
    // Each saved text a whole configuration, and both loads were seen while playing.
    bool sawFirst = false, sawSecond = false;
    for (const std::string& text : saved) {
        Configuration c;
        std::string error;
        ASSERT_TRUE(parseConfiguration(text.c_str(), c, error)) << error << "\n" << text;
        sawFirst = sawFirst || (c.oscType[1] == first.oscType[1] && c.hasWave);
        sawSecond = sawSecond || (c.oscType[1] == kSquare && !c.hasWave);
    }
    EXPECT_TRUE(sawFirst);
    EXPECT_TRUE(sawSecond);
}

}  // namespace
}  // namespace voltina::test
