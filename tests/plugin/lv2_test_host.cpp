#include "tests/plugin/lv2_test_host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/util.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/time/time.h>
#include <lv2/ui/ui.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "plugin/plugin_edits.h"
#include "plugin/plugin_uris.h"

namespace voltina::test {

namespace {

constexpr std::size_t kAtomBufferBytes = 1 << 16;
constexpr std::uint32_t kMaxBlock = 8192;

std::string propertyUri(const std::string& name) {
    return std::string(kVoltinaUri) + "#" + name;
}

}  // namespace

HostEvent HostEvent::note(std::uint64_t frame, int status, int key, int velocity) {
    HostEvent e;
    e.kind = Midi;
    e.frame = frame;
    e.midi[0] = static_cast<std::uint8_t>(status);
    e.midi[1] = static_cast<std::uint8_t>(key);
    e.midi[2] = static_cast<std::uint8_t>(velocity);
    return e;
}

HostEvent HostEvent::setPath(std::uint64_t frame, const std::string& path) {
    HostEvent e;
    e.kind = SetPath;
    e.frame = frame;
    e.property = "configuration";
    e.path = path;
    return e;
}

HostEvent HostEvent::setString(std::uint64_t frame, const std::string& text) {
    HostEvent e = setPath(frame, text);
    e.kind = SetString;
    return e;
}

HostEvent HostEvent::setInt(std::uint64_t frame, const std::string& property, int value) {
    HostEvent e;
    e.kind = SetInt;
    e.frame = frame;
    e.property = property;
    e.value = value;
    return e;
}

HostEvent HostEvent::setFloat(std::uint64_t frame, const std::string& property, float value) {
    HostEvent e;
    e.kind = SetFloat;
    e.frame = frame;
    e.property = property;
    e.value = value;
    return e;
}

HostEvent HostEvent::transport(std::uint64_t frame, double speed, std::int64_t transportFrame) {
    HostEvent e;
    e.kind = Transport;
    e.frame = frame;
    e.value = speed;
    e.transportFrame = transportFrame;
    return e;
}

HostEvent HostEvent::window(std::uint64_t frame, const std::string& typeUri, const void* body,
                            std::size_t size) {
    HostEvent e;
    e.kind = Window;
    e.frame = frame;
    e.property = typeUri;
    e.body.assign(static_cast<const std::uint8_t*>(body), static_cast<const std::uint8_t*>(body) + size);
    return e;
}

HostEvent HostEvent::windowEdit(std::uint64_t frame, const Edit& edit) {
    EditBody numbers;
    PatchEditBody whole;
    if (patchEditBody(edit, whole)) return window(frame, kWindowPatchEditUri, &whole, sizeof whole);
    EXPECT_TRUE(editBody(edit, numbers));
    return window(frame, kWindowEditUri, &numbers, sizeof numbers);
}

// The external-UI extension's structures, as a host declares them (the extension ships no header).
struct ExternalWidget {
    void (*run)(ExternalWidget*);
    void (*show)(ExternalWidget*);
    void (*hide)(ExternalWidget*);
};
struct ExternalHost {
    void (*ui_closed)(LV2UI_Controller);
    const char* plugin_human_id;
};

struct TestHost::WindowLibrary {
    void* library = nullptr;
    const LV2UI_Descriptor* descriptor = nullptr;
    LV2UI_Handle handle = nullptr;
    ExternalWidget* widget = nullptr;
    ExternalHost host{};
    LV2_Feature hostFeature{}, instanceFeature{};
    const LV2_Feature* features[4] = {};
};

bool TestHost::MessageQueue::push(std::uint32_t size, const void* bytes) {
    if (used == kCount || size > kBytes) return false;
    sizes[used] = size;
    std::memcpy(data[used], bytes, size);
    ++used;
    return true;
}

TestHost::TestHost()
    : control_(kAtomBufferBytes / 8),
      notify_(kAtomBufferBytes / 8),
      blockLeft_(kMaxBlock),
      blockRight_(kMaxBlock),
      requests_(std::make_unique<MessageQueue>()),
      responses_(std::make_unique<MessageQueue>()),
      working_(std::make_unique<MessageQueue>()) {
    map_ = {this, &TestHost::mapUri};
    unmap_ = {this, &TestHost::unmapUri};
    schedule_ = {this, &TestHost::scheduleWork};
    log_ = {this, &TestHost::logPrintf, &TestHost::logVprintf};
    mapFeature_ = {LV2_URID__map, &map_};
    unmapFeature_ = {LV2_URID__unmap, &unmap_};
    scheduleFeature_ = {LV2_WORKER__schedule, &schedule_};
    logFeature_ = {LV2_LOG__log, &log_};
    features_[0] = &mapFeature_;
    features_[1] = &unmapFeature_;
    features_[2] = &scheduleFeature_;
    features_[3] = &logFeature_;
    features_[4] = nullptr;
    // Room for every URI the plugin and this host map, so mapping never moves the strings unmap returns.
    uris_.reserve(4096);
}

TestHost::~TestHost() {
    closeWindow();
    if (instance_) {
        lilv_instance_deactivate(instance_);
        lilv_instance_free(instance_);
    }
    if (world_) lilv_world_free(world_);
}

LV2_URID TestHost::mapUri(LV2_URID_Map_Handle handle, const char* uri) {
    auto* host = static_cast<TestHost*>(handle);
    const auto found = host->ids_.find(uri);
    if (found != host->ids_.end()) return found->second;
    host->uris_.emplace_back(uri);
    const auto id = static_cast<LV2_URID>(host->uris_.size());
    host->ids_.emplace(uri, id);
    return id;
}

const char* TestHost::unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
    auto* host = static_cast<TestHost*>(handle);
    if (urid == 0 || urid > host->uris_.size()) return nullptr;
    return host->uris_[urid - 1].c_str();
}

LV2_Worker_Status TestHost::scheduleWork(LV2_Worker_Schedule_Handle handle, std::uint32_t size,
                                         const void* data) {
    auto* host = static_cast<TestHost*>(handle);
    if (host->synchronous_)
        return host->worker_->work(lilv_instance_get_handle(host->instance_), &TestHost::respond, host, size,
                                   data);
    return host->requests_->push(size, data) ? LV2_WORKER_SUCCESS : LV2_WORKER_ERR_NO_SPACE;
}

LV2_Worker_Status TestHost::respond(LV2_Worker_Respond_Handle handle, std::uint32_t size, const void* data) {
    auto* host = static_cast<TestHost*>(handle);
    if (host->synchronous_) {
        // Handed over at once; what the plugin makes of it is not the sender's business.
        for (int times = host->duplicateResponses_ ? 2 : 1; times > 0; --times)
            host->worker_->work_response(lilv_instance_get_handle(host->instance_), size, data);
        return LV2_WORKER_SUCCESS;
    }
    return host->responses_->push(size, data) ? LV2_WORKER_SUCCESS : LV2_WORKER_ERR_NO_SPACE;
}

int TestHost::logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = logVprintf(handle, type, format, args);
    va_end(args);
    return n;
}

int TestHost::logVprintf(LV2_Log_Handle handle, LV2_URID, const char* format, va_list args) {
    char text[2048];
    const int n = std::vsnprintf(text, sizeof text, format, args);
    static_cast<TestHost*>(handle)->logged_.emplace_back(text);
    return n;
}

bool TestHost::instantiate(double rate, std::string& error) {
    world_ = lilv_world_new();
    lilv_world_load_all(world_);
    LilvNode* uri = lilv_new_uri(world_, kVoltinaUri);
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
    lilv_node_free(uri);
    if (plugin_ == nullptr) {
        const char* path = std::getenv("LV2_PATH");
        error = std::string("no plugin ") + kVoltinaUri + " in LV2_PATH=" + (path ? path : "(unset)");
        return false;
    }
    rate_ = rate;
    instance_ = lilv_plugin_instantiate(plugin_, rate, features_);
    if (instance_ == nullptr) {
        error = "the plugin did not instantiate";
        return false;
    }
    worker_ = static_cast<const LV2_Worker_Interface*>(
        lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
    if (worker_ == nullptr) {
        error = "the plugin has no worker interface";
        return false;
    }
    lilv_instance_connect_port(instance_, 0, control_.data());
    lilv_instance_connect_port(instance_, 1, notify_.data());
    lilv_instance_connect_port(instance_, 2, blockLeft_.data());
    lilv_instance_connect_port(instance_, 3, blockRight_.data());
    lilv_instance_connect_port(instance_, 4, &latency_);
    // What a host maps for its own messages, before any block is run.
    for (const char* u :
         {LV2_ATOM__Sequence, LV2_ATOM__Chunk, LV2_ATOM__Path, LV2_ATOM__Int, LV2_ATOM__Float,
          LV2_ATOM__Object, LV2_ATOM__URID, LV2_ATOM__Long, LV2_MIDI__MidiEvent, LV2_PATCH__Set,
          LV2_PATCH__property, LV2_PATCH__value, LV2_TIME__Position, LV2_TIME__frame, LV2_TIME__speed})
        mapUri(this, u);
    lilv_instance_activate(instance_);
    return true;
}

void TestHost::forgeEvent(LV2_Atom_Forge& forge, const HostEvent& e, std::uint32_t offset) {
    lv2_atom_forge_frame_time(&forge, offset);
    if (e.kind == HostEvent::Midi) {
        lv2_atom_forge_atom(&forge, 3, mapUri(this, LV2_MIDI__MidiEvent));
        lv2_atom_forge_write(&forge, e.midi, 3);
        return;
    }
    if (e.kind == HostEvent::Window) {
        lv2_atom_forge_atom(&forge, static_cast<std::uint32_t>(e.body.size()),
                            mapUri(this, e.property.c_str()));
        lv2_atom_forge_write(&forge, e.body.data(), static_cast<std::uint32_t>(e.body.size()));
        return;
    }
    LV2_Atom_Forge_Frame object;
    if (e.kind == HostEvent::Transport) {
        lv2_atom_forge_object(&forge, &object, 0, mapUri(this, LV2_TIME__Position));
        lv2_atom_forge_key(&forge, mapUri(this, LV2_TIME__frame));
        lv2_atom_forge_long(&forge, e.transportFrame);
        lv2_atom_forge_key(&forge, mapUri(this, LV2_TIME__speed));
        lv2_atom_forge_float(&forge, static_cast<float>(e.value));
        lv2_atom_forge_pop(&forge, &object);
        return;
    }
    lv2_atom_forge_object(&forge, &object, 0, mapUri(this, LV2_PATCH__Set));
    lv2_atom_forge_key(&forge, mapUri(this, LV2_PATCH__property));
    lv2_atom_forge_urid(&forge, mapUri(this, propertyUri(e.property).c_str()));
    lv2_atom_forge_key(&forge, mapUri(this, LV2_PATCH__value));
    if (e.kind == HostEvent::SetPath) {
        lv2_atom_forge_path(&forge, e.path.c_str(), static_cast<std::uint32_t>(e.path.size() + 1));
    } else if (e.kind == HostEvent::SetString) {
        lv2_atom_forge_string(&forge, e.path.c_str(), static_cast<std::uint32_t>(e.path.size()));
    } else if (e.kind == HostEvent::SetInt) {
        lv2_atom_forge_int(&forge, static_cast<std::int32_t>(e.value));
    } else {
        lv2_atom_forge_float(&forge, static_cast<float>(e.value));
    }
    lv2_atom_forge_pop(&forge, &object);
}

void TestHost::runBlock(std::uint32_t frames, const std::vector<HostEvent>& events, std::size_t& next) {
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, &map_);
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(control_.data()), kAtomBufferBytes);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    // The window's writes since the last block, at its first frame, as a host's UI-to-DSP queue.
    for (HostEvent& written : windowPending_) {
        written.frame = frame_;
        forgeEvent(forge, written, 0);
        windowWrites_.push_back(std::move(written));
    }
    windowPending_.clear();
    while (next < events.size() && events[next].frame < frame_ + frames) {
        const std::uint64_t at = std::max(events[next].frame, frame_);
        forgeEvent(forge, events[next], static_cast<std::uint32_t>(at - frame_));
        ++next;
    }
    lv2_atom_forge_pop(&forge, &sequence);
    auto* notify = reinterpret_cast<LV2_Atom_Sequence*>(notify_.data());
    notify->atom.type = 0;
    notify->atom.size = kAtomBufferBytes - sizeof(LV2_Atom);

    if (watch_) watch_->enter();
    lilv_instance_run(instance_, frames);
    if (watch_) watch_->leave();

    left_.insert(left_.end(), blockLeft_.begin(), blockLeft_.begin() + frames);
    right_.insert(right_.end(), blockRight_.begin(), blockRight_.begin() + frames);
    frame_ += frames;
    readNotifications();
    doWork();
}

void TestHost::doWork() {
    // A request may itself lead to one (a response that schedules the free of what it replaced).
    while (requests_->used > 0 || responses_->used > 0) {
        std::swap(requests_, working_);
        for (std::size_t i = 0; i < working_->used; ++i)
            worker_->work(lilv_instance_get_handle(instance_), &TestHost::respond, this, working_->sizes[i],
                          working_->data[i]);
        working_->used = 0;
        std::swap(responses_, working_);
        if (watch_) watch_->enter();
        for (std::size_t i = 0; i < working_->used; ++i) {
            for (int times = duplicateResponses_ ? 2 : 1; times > 0; --times)
                worker_->work_response(lilv_instance_get_handle(instance_), working_->sizes[i],
                                       working_->data[i]);
        }
        if (watch_) watch_->leave();
        working_->used = 0;
    }
}

void TestHost::readNotifications() {
    const auto* notify = reinterpret_cast<const LV2_Atom_Sequence*>(notify_.data());
    if (notify->atom.type != mapUri(this, LV2_ATOM__Sequence)) return;
    LV2_ATOM_SEQUENCE_FOREACH(notify, event) {
        if (window_ && window_->descriptor->port_event)
            window_->descriptor->port_event(window_->handle, 1,
                                            static_cast<std::uint32_t>(sizeof(LV2_Atom) + event->body.size),
                                            mapUri(this, LV2_ATOM__eventTransfer), &event->body);
        if (event->body.type != mapUri(this, LV2_ATOM__Object)) continue;
        const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
        if (object->body.otype != mapUri(this, LV2_PATCH__Set)) continue;
        const LV2_Atom* property = nullptr;
        const LV2_Atom* value = nullptr;
        lv2_atom_object_get(object, mapUri(this, LV2_PATCH__property), &property,
                            mapUri(this, LV2_PATCH__value), &value, 0);
        if (property == nullptr || value == nullptr) continue;
        const std::string uri = unmapUri(this, reinterpret_cast<const LV2_Atom_URID*>(property)->body);
        const std::string name = uri.substr(uri.find('#') + 1);
        std::string text;
        if (value->type == mapUri(this, LV2_ATOM__Path)) {
            text = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
        } else if (value->type == mapUri(this, LV2_ATOM__Float)) {
            char number[64];
            std::snprintf(number, sizeof number, "%.9g",
                          reinterpret_cast<const LV2_Atom_Float*>(value)->body);
            text = number;
        } else {
            continue;
        }
        notified_[name] = text;
    }
}

void TestHost::play(std::uint64_t frames, const std::vector<std::uint32_t>& blocks,
                    const std::vector<HostEvent>& events) {
    std::size_t next = 0;
    while (next < events.size() && events[next].frame < frame_) ++next;
    const std::uint64_t end = frame_ + frames;
    for (std::size_t b = 0; frame_ < end; ++b) {
        const std::uint32_t length =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(blocks[b % blocks.size()], end - frame_));
        runBlock(length, events, next);
    }
}

bool TestHost::openWindow(std::string& error) {
    LilvNode* widgetClass = lilv_new_uri(world_, "http://kxstudio.sf.net/ns/lv2ext/external-ui#Widget");
    LilvUIs* uis = lilv_plugin_get_uis(plugin_);
    const LilvUI* chosen = nullptr;
    LILV_FOREACH(uis, i, uis)
    if (lilv_ui_is_a(lilv_uis_get(uis, i), widgetClass)) chosen = lilv_uis_get(uis, i);
    lilv_node_free(widgetClass);
    if (chosen == nullptr) {
        lilv_uis_free(uis);
        error = "the plugin offers no external-UI widget";
        return false;
    }
    char* binary = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(chosen)), nullptr);
    char* bundle = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_bundle_uri(chosen)), nullptr);
    const std::string uiUri = lilv_node_as_uri(lilv_ui_get_uri(chosen));
    lilv_uis_free(uis);
    auto w = std::make_unique<WindowLibrary>();
    w->library = dlopen(binary, RTLD_NOW | RTLD_LOCAL);
    lilv_free(binary);
    using DescriptorFunction = const LV2UI_Descriptor* (*)(std::uint32_t);
    auto descriptorOf =
        w->library ? reinterpret_cast<DescriptorFunction>(dlsym(w->library, "lv2ui_descriptor")) : nullptr;
    for (std::uint32_t i = 0; descriptorOf && (w->descriptor = descriptorOf(i)) != nullptr; ++i)
        if (uiUri == w->descriptor->URI) break;
    if (w->descriptor == nullptr) {
        lilv_free(bundle);
        error = "the UI library does not load or has no " + uiUri +
                (w->library ? "" : std::string(": ") + dlerror());
        if (w->library) dlclose(w->library);
        return false;
    }
    w->host = {&TestHost::windowClosed, "Voltina (test host)"};
    w->hostFeature = {"http://kxstudio.sf.net/ns/lv2ext/external-ui#Host", &w->host};
    // After the external-UI host, as Ardour lists it: a UI must read every feature.
    w->instanceFeature = {LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(instance_)};
    w->features[0] = &mapFeature_;
    w->features[1] = &w->hostFeature;
    w->features[2] = &w->instanceFeature;
    LV2UI_Widget widget = nullptr;
    w->handle = w->descriptor->instantiate(w->descriptor, kVoltinaUri, bundle, &TestHost::windowWrite, this,
                                           &widget, w->features);
    lilv_free(bundle);
    if (w->handle == nullptr || widget == nullptr) {
        dlclose(w->library);
        error = "the UI did not instantiate";
        return false;
    }
    w->widget = static_cast<ExternalWidget*>(widget);
    windowClosed_ = false;
    window_ = std::move(w);
    window_->widget->show(window_->widget);
    return true;
}

void TestHost::idleWindow() {
    if (window_) window_->widget->run(window_->widget);
}

void TestHost::closeWindow() {
    if (!window_) return;
    window_->widget->hide(window_->widget);
    window_->descriptor->cleanup(window_->handle);
    dlclose(window_->library);
    window_.reset();
}

void TestHost::windowWrite(void* controller, std::uint32_t port, std::uint32_t size, std::uint32_t format,
                           const void* buffer) {
    auto* host = static_cast<TestHost*>(controller);
    const auto* atom = static_cast<const LV2_Atom*>(buffer);
    if (port != 0 || format != mapUri(host, LV2_ATOM__eventTransfer) || size < sizeof(LV2_Atom) ||
        size != sizeof(LV2_Atom) + atom->size) {
        host->logged_.push_back("the window wrote something that is no atom event");
        return;
    }
    host->windowPending_.push_back(HostEvent::window(0, unmapUri(host, atom->type), atom + 1, atom->size));
}

void TestHost::windowClosed(void* controller) {
    static_cast<TestHost*>(controller)->windowClosed_ = true;
}

std::vector<std::uint8_t> TestHost::playedBytes(std::uint64_t from) const {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(2 * (left_.size() - from));
    const auto byte = [](float v) { return static_cast<std::uint8_t>(std::lround(v * 128.0f) + 128); };
    for (std::size_t i = from; i < left_.size(); ++i) {
        bytes.push_back(byte(left_[i]));
        bytes.push_back(byte(right_[i]));
    }
    return bytes;
}

std::string TestHost::saveState(const std::string& folder) {
    LilvState* state = lilv_state_new_from_instance(plugin_, instance_, &map_, folder.c_str(), folder.c_str(),
                                                    folder.c_str(), folder.c_str(), nullptr, nullptr,
                                                    LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features_);
    if (state == nullptr) return {};
    char* text = lilv_state_to_string(world_, &map_, &unmap_, state, "urn:voltina:test-state", nullptr);
    std::string turtle = text ? text : "";
    lilv_free(text);
    lilv_state_free(state);
    return turtle;
}

bool TestHost::restoreState(const std::string& turtle) {
    LilvState* state = lilv_state_new_from_string(world_, &map_, turtle.c_str());
    if (state == nullptr) return false;
    lilv_state_restore(state, instance_, nullptr, nullptr, 0, features_);
    lilv_state_free(state);
    return true;
}

}  // namespace voltina::test
