#include "plugin/voltina_instance.h"

#include <lv2/atom/util.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "engine/midi_keys.h"
#include "media/printable_text.h"
#include "patch/apply_edit.h"
#include "plugin/plugin_controllers.h"

namespace voltina {

namespace {

const void* feature(const LV2_Feature* const* features, const char* uri) {
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
    return nullptr;
}

// A number the host sends for a parameter, whatever atom type its control uses.
bool numberOf(const PluginUris& u, const LV2_Atom* value, double& out) {
    if (value->type == u.atomFloat && value->size >= sizeof(float)) {
        out = reinterpret_cast<const LV2_Atom_Float*>(value)->body;
    } else if (value->type == u.atomDouble && value->size >= sizeof(double)) {
        out = reinterpret_cast<const LV2_Atom_Double*>(value)->body;
    } else if ((value->type == u.atomInt || value->type == u.atomBool) &&
               value->size >= sizeof(std::int32_t)) {
        out = reinterpret_cast<const LV2_Atom_Int*>(value)->body;
    } else if (value->type == u.atomLong && value->size >= sizeof(std::int64_t)) {
        out = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(value)->body);
    } else {
        return false;
    }
    return true;
}

}  // namespace

VoltinaInstance* VoltinaInstance::create(double rate, const LV2_Feature* const* features) {
    auto* map = static_cast<LV2_URID_Map*>(const_cast<void*>(feature(features, LV2_URID__map)));
    auto* schedule =
        static_cast<LV2_Worker_Schedule*>(const_cast<void*>(feature(features, LV2_WORKER__schedule)));
    auto* log = static_cast<LV2_Log_Log*>(const_cast<void*>(feature(features, LV2_LOG__log)));
    LV2_Log_Logger logger{};
    lv2_log_logger_init(&logger, map, log);
    if (map == nullptr || schedule == nullptr) {
        lv2_log_error(&logger, "Voltina: the host gives no %s\n", map ? "worker" : "URID map");
        return nullptr;
    }
    std::string error;
    std::unique_ptr<LoadedPatch> startup = startupPatch(rate, error);
    if (startup) startup->twin = startAgain(*startup, rate, error);
    if (!startup || !startup->twin) {
        lv2_log_error(&logger, "Voltina: %s\n", error.c_str());
        return nullptr;
    }
    auto* instance = new VoltinaInstance();
    instance->map_ = map;
    instance->schedule_ = schedule;
    instance->logger_ = logger;
    instance->rate_ = rate;
    instance->uris_.map(map);
    lv2_atom_forge_init(&instance->forge_, map);
    instance->active_.store(startup.release());
    instance->windowPatch_ = std::make_shared<PanelPatch>();
    return instance;
}

VoltinaInstance::~VoltinaInstance() {
    delete active_.load();
    delete arrived_;
    for (LoadedPatch* p : pendingFrees_) delete p;
}

void VoltinaInstance::connect(std::uint32_t port, void* data) {
    switch (port) {
        case kControlPort:
            control_ = static_cast<const LV2_Atom_Sequence*>(data);
            break;
        case kNotifyPort:
            notify_ = static_cast<LV2_Atom_Sequence*>(data);
            break;
        case kLeftPort:
            left_ = static_cast<float*>(data);
            break;
        case kRightPort:
            right_ = static_cast<float*>(data);
            break;
        case kLatencyPort:
            latency_ = static_cast<float*>(data);
            break;
        default:
            break;
    }
}

void VoltinaInstance::run(std::uint32_t frames) {
    running_.store(true);
    inRun_ = true;
    LV2_Atom_Forge_Frame sequence{};
    bool notifying = false;
    if (notify_ != nullptr) {
        // The host gives the port's capacity as the atom's size; what fits is sent, the rest dropped.
        lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<std::uint8_t*>(notify_), notify_->atom.size);
        notifying = lv2_atom_forge_sequence_head(&forge_, &sequence, 0) != 0;
    }
    retryFrees();
    if (notifying && notifyAll_.exchange(false)) notifyAll(0);

    // The playing patch is read again after each event: the transport may have started it again.
    std::uint32_t done = 0;
    if (control_ != nullptr) {
        LV2_ATOM_SEQUENCE_FOREACH(control_, event) {
            const std::int64_t at = event->time.frames;
            const std::uint32_t frame = at <= static_cast<std::int64_t>(done)
                                            ? done
                                            : static_cast<std::uint32_t>(std::min<std::int64_t>(at, frames));
            if (frame > done) {
                PatchSink sink(*this, *playing());
                sink.patch.sound->render(left_ + done, right_ + done, frame - done, sink);
                done = frame;
            }
            handleEvent(event, frame);
            if (notifying) notifyTaken(frame);
        }
    }
    if (frames > done) {
        PatchSink sink(*this, *playing());
        sink.patch.sound->render(left_ + done, right_ + done, frames - done, sink);
    }
    if (notifying) notifyTaken(frames > 0 ? frames - 1 : 0);
    transportFrame_ += transportSpeed_ * frames;
    hostClock_ += frames;
    // At a converted rate the host hears the engine a fixed delay late; a host that knows it lines the
    // sound up with the timeline.
    if (latency_ != nullptr) *latency_ = static_cast<float>(playing()->sound->latencyFrames());
    // Once a block, however many parameters the host's automation set in it.
    if (std::exchange(panelDue_, false) && notifying) notifyPanel(done);
    if (notifying) lv2_atom_forge_pop(&forge_, &sequence);
    inRun_ = false;
    // Nothing plays the replaced patch any more: it may be freed, even at once by a synchronous worker.
    if (arrived_ != nullptr) install(std::exchange(arrived_, nullptr));
    running_.store(false);
}

void VoltinaInstance::handleEvent(const LV2_Atom_Event* event, std::uint32_t frame) {
    if (event->body.type == uris_.midiEvent) {
        if (event->body.size < 3) return;  // no note message is shorter
        const auto* b = reinterpret_cast<const std::uint8_t*>(event + 1);
        TimedMessage message;
        message.word = packMidi(b[0], b[1], b[2]);
        PatchSink sink(*this, *playing());
        sink.patch.sound->post(message, sink);
        return;
    }
    if (event->body.type == uris_.windowEdit || event->body.type == uris_.windowPatchEdit) {
        handleWindowEdit(&event->body);
        return;
    }
    if (event->body.type != uris_.atomObject) return;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
    if (object->body.otype == uris_.timePosition) {
        handlePosition(object, frame);
    } else if (object->body.otype == uris_.patchSet) {
        handleSet(object, frame);
    } else if (object->body.otype == uris_.patchGet) {
        const LV2_Atom* property = nullptr;
        lv2_atom_object_get(object, uris_.patchProperty, &property, 0);
        if (property == nullptr || property->type != uris_.atomUrid) {
            notifyAll(frame);
            return;
        }
        const LV2_URID which = reinterpret_cast<const LV2_Atom_URID*>(property)->body;
        if (which == uris_.configuration) notifyPath(frame);
        const int p = uris_.parameterOf(which);
        if (p >= 0) notifyParameter(p, frame);
    }
}

void VoltinaInstance::handleSet(const LV2_Atom_Object* object, std::uint32_t frame) {
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, uris_.patchProperty, &property, uris_.patchValue, &value, 0);
    if (property == nullptr || value == nullptr || property->type != uris_.atomUrid) return;
    const LV2_URID which = reinterpret_cast<const LV2_Atom_URID*>(property)->body;
    if (which == uris_.configuration) {
        // Read and checked on the worker's thread; played from the block after it is ready.
        const std::size_t length = strnlen(static_cast<const char*>(LV2_ATOM_BODY_CONST(value)), value->size);
        if (value->type != uris_.atomPath || length == 0 || length > kMaxPathBytes) {
            complain(value->type != uris_.atomPath ? Complaint::NotAPath
                     : length == 0                 ? Complaint::EmptyPath
                                                   : Complaint::PathTooLong,
                     static_cast<std::uint32_t>(length));
            notifyPath(frame);
            return;
        }
        request_.kind = Work::Load;
        request_.ticket = takeTicket();
        std::memcpy(request_.path, LV2_ATOM_BODY_CONST(value), length);
        request_.path[length] = '\0';
        const auto size = static_cast<std::uint32_t>(offsetof(LoadRequest, path) + length + 1);
        if (request_.ticket == 0 ||
            schedule_->schedule_work(schedule_->handle, size, &request_) != LV2_WORKER_SUCCESS) {
            redeem(request_.ticket);
            notifyPath(frame);
        }
        return;
    }
    const int p = uris_.parameterOf(which);
    double number = 0.0;
    if (p < 0 || !numberOf(uris_, value, number)) return;
    TimedMessage message;
    message.kind = TimedMessage::Kind::Parameter;
    message.word = static_cast<std::uint32_t>(p);
    message.number = number;
    PatchSink sink(*this, *playing());
    sink.patch.sound->post(message, sink);
}

void VoltinaInstance::PatchSink::deliver(EngineState& state, const TimedMessage& message) {
    if (message.kind == TimedMessage::Kind::Window) {
        instance.applyWindowEdit(patch, message.word);
        return;
    }
    if (message.kind == TimedMessage::Kind::Midi) {
        // A controller the configuration binds moves its control, and the host is told the new value.
        const int moved = playController(patch, message.word);
        if (moved >= 0) {
            instance.taken_ |= std::uint64_t{1} << moved;
            instance.panelDue_ = true;
        } else {
            onMidiMessage(state, message.word);
        }
        return;
    }
    const int p = static_cast<int>(message.word);
    applyEdit(state, parameterEdit(p, message.number));
    patch.values[p].store(parameterValue(state, p), std::memory_order_relaxed);
    // What the engine took is sent back, which a typed frequency over the entry's top or a pan between
    // two steps makes differ from what was sent.
    instance.taken_ |= std::uint64_t{1} << p;
    instance.panelDue_ = true;  // and the window is shown the panel
}

void VoltinaInstance::notifyTaken(std::uint32_t frame) {
    for (int p = 0; taken_ != 0 && p < kParameterCount; ++p) {
        if ((taken_ & (std::uint64_t{1} << p)) == 0) continue;
        taken_ &= ~(std::uint64_t{1} << p);
        notifyParameter(p, frame);
    }
}

void VoltinaInstance::handlePosition(const LV2_Atom_Object* object, std::uint32_t frame) {
    const LV2_Atom* speed = nullptr;
    const LV2_Atom* position = nullptr;
    lv2_atom_object_get(object, uris_.timeSpeed, &speed, uris_.timeFrame, &position, 0);
    double newSpeed = transportSpeed_;
    if (speed != nullptr && !numberOf(uris_, speed, newSpeed)) newSpeed = transportSpeed_;
    // Where the transport stands at this event, had it gone on as it did.
    const double expected = transportFrame_ + transportSpeed_ * static_cast<double>(frame);
    double at = expected;
    const bool located = position != nullptr && numberOf(uris_, position, at);
    const std::uint64_t clock = hostClock_ + frame;
    // A host that compensates for the plugin's latency runs it that long before it rolls (Ardour as it
    // exports), saying the transport is stopped while the position moves on a frame a frame; the notes
    // for the roll's first frame come during that pre-roll, so the patch starts with it, not with the roll.
    const double elapsed = static_cast<double>(clock - positionClock_);
    const bool preRolls = located && transportKnown_ && transportSpeed_ == 0.0 && elapsed > 0 &&
                          std::fabs(at - (positionFrame_ + elapsed)) < 0.5;
    const bool jumped = located && transportKnown_ && !preRolls && std::fabs(at - expected) >= 0.5;
    bool starts = false;
    if (!transportKnown_) {
        starts = newSpeed != 0.0;
    } else if (jumped) {
        starts = true;  // a locate, rolling or stopped: a pre-roll may start from there
    } else if (preRolls) {
        starts = !preRolling_ && !startedAtLastPosition_;
    } else {
        starts = newSpeed != 0.0 && transportSpeed_ == 0.0 && !preRolling_;
    }
    transportSpeed_ = newSpeed;
    if (located) {
        transportKnown_ = true;
        preRolling_ = preRolls && newSpeed == 0.0;
        startedAtLastPosition_ = starts;
        positionFrame_ = at;
        positionClock_ = clock;
    }
    // transportFrame_ stands for the block's start; run() moves it on by the block's length.
    transportFrame_ = at - newSpeed * static_cast<double>(frame);
    if (starts) restartPatch();
}

void VoltinaInstance::restartPatch() {
    LoadedPatch* current = playing();
    // The worker has not built the next twin yet (a second start within a few milliseconds): the patch
    // plays on rather than wait.
    if (current->twin == nullptr) return;
    LoadedPatch* fresh = current->twin.get();
    // Notes and values on their way to the old patch's engine act on it now, so the values carry over.
    PatchSink sink(*this, *current);
    current->sound->flush(sink);
    // What the host has set since the patch was loaded is kept, as a parameter set at the first frame.
    for (int p = 0; p < kParameterCount; ++p) {
        const float value = current->values[p].load(std::memory_order_relaxed);
        if (value == fresh->values[p].load(std::memory_order_relaxed)) continue;
        applyEdit(fresh->sound->state(), parameterEdit(p, value));
        fresh->values[p].store(parameterValue(fresh->sound->state(), p), std::memory_order_relaxed);
    }
    keepWindowEdits(*current, *fresh);
    // A restore on another thread may have put its own patch in meanwhile: that one plays, and the
    // restore frees the one it replaced (with its twin).
    if (!active_.compare_exchange_strong(current, fresh)) return;
    static_cast<void>(current->twin.release());
    // Nothing refers to the old patch any more (run() reads the playing one again after each event).
    freeLater(current);
    PatchMessage request{Work::BuildTwin, nullptr, fresh->id};
    request.ticket = takeTicket();
    if (request.ticket != 0 &&
        schedule_->schedule_work(schedule_->handle, sizeof request, &request) != LV2_WORKER_SUCCESS)
        redeem(request.ticket);
}

std::uint32_t VoltinaInstance::takeTicket() {
    // A free slot, or else the oldest: an answer that never came (a host that dropped it) must not
    // stop the plugin asking; should it come after all, it is not taken.
    std::uint32_t* chosen = &tickets_[0];
    for (std::uint32_t& slot : tickets_) {
        if (slot == 0) {
            chosen = &slot;
            break;
        }
        if (slot < *chosen) chosen = &slot;
    }
    lastTicket_ = lastTicket_ == UINT32_MAX ? 1 : lastTicket_ + 1;
    *chosen = lastTicket_;
    return lastTicket_;
}

bool VoltinaInstance::redeem(std::uint32_t ticket) {
    if (ticket == 0) return false;
    for (std::uint32_t& slot : tickets_) {
        if (slot != ticket) continue;
        slot = 0;
        return true;
    }
    return false;
}

void VoltinaInstance::notifyParameter(int parameter, std::uint32_t frame) {
    if (notify_ == nullptr) return;
    const float v =
        active_.load(std::memory_order_relaxed)->values[parameter].load(std::memory_order_relaxed);
    LV2_Atom_Forge_Frame object{};
    if (!lv2_atom_forge_frame_time(&forge_, frame) ||
        !lv2_atom_forge_object(&forge_, &object, 0, uris_.patchSet))
        return;
    lv2_atom_forge_key(&forge_, uris_.patchProperty);
    lv2_atom_forge_urid(&forge_, uris_.parameters[parameter]);
    lv2_atom_forge_key(&forge_, uris_.patchValue);
    lv2_atom_forge_float(&forge_, v);
    lv2_atom_forge_pop(&forge_, &object);
}

void VoltinaInstance::notifyPath(std::uint32_t frame) {
    if (notify_ == nullptr) return;
    const std::string& path = active_.load(std::memory_order_relaxed)->path;
    LV2_Atom_Forge_Frame object{};
    if (!lv2_atom_forge_frame_time(&forge_, frame) ||
        !lv2_atom_forge_object(&forge_, &object, 0, uris_.patchSet))
        return;
    lv2_atom_forge_key(&forge_, uris_.patchProperty);
    lv2_atom_forge_urid(&forge_, uris_.configuration);
    lv2_atom_forge_key(&forge_, uris_.patchValue);
    lv2_atom_forge_path(&forge_, path.c_str(), static_cast<std::uint32_t>(path.size() + 1));
    lv2_atom_forge_pop(&forge_, &object);
}

void VoltinaInstance::notifyAll(std::uint32_t frame) {
    notifyPath(frame);
    for (int p = 0; p < kParameterCount; ++p) notifyParameter(p, frame);
    notifyPanel(frame);
}

void VoltinaInstance::install(LoadedPatch* patch) {
    freeLater(active_.exchange(patch));
    notifyAll_.store(true);
}

void VoltinaInstance::freeLater(LoadedPatch* patch) {
    const PatchMessage message{Work::Free, patch};
    if (schedule_->schedule_work(schedule_->handle, sizeof message, &message) == LV2_WORKER_SUCCESS) return;
    // The worker's queue is full: kept until a later block, never freed here.
    for (LoadedPatch*& slot : pendingFrees_) {
        if (slot == nullptr) {
            slot = patch;
            return;
        }
    }
    // Eight loads waiting to be freed at once: leaking one is better than freeing it on this thread.
}

void VoltinaInstance::retryFrees() {
    for (LoadedPatch*& slot : pendingFrees_) {
        if (slot == nullptr) continue;
        const PatchMessage message{Work::Free, slot};
        if (schedule_->schedule_work(schedule_->handle, sizeof message, &message) != LV2_WORKER_SUCCESS)
            return;
        slot = nullptr;
    }
}

void VoltinaInstance::logError(const std::string& text) {
    // File names come from outside: escaped, so a name cannot drive the terminal the host logs to.
    lv2_log_error(&logger_, "Voltina: %s\n", printableText(text).c_str());
}

void VoltinaInstance::complain(Complaint complaint, std::uint32_t bytes) {
    const ComplaintMessage message{Work::Complain, complaint, bytes};
    // A full worker queue loses only the words: the host's file control is set back all the same.
    schedule_->schedule_work(schedule_->handle, sizeof message, &message);
}

LV2_Worker_Status VoltinaInstance::work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                                        std::uint32_t size, const void* data) {
    if (size < sizeof(Work)) return LV2_WORKER_ERR_UNKNOWN;
    Work kind;
    std::memcpy(&kind, data, sizeof kind);
    if (kind == Work::Free && size == sizeof(PatchMessage)) {
        PatchMessage message;
        std::memcpy(&message, data, sizeof message);
        const std::lock_guard<std::mutex> saving(savingMutex_);
        delete message.patch;
        return LV2_WORKER_SUCCESS;
    }
    if (kind == Work::BuildTwin && size == sizeof(PatchMessage)) {
        PatchMessage message;
        std::memcpy(&message, data, sizeof message);
        std::unique_ptr<LoadedPatch> twin;
        std::string error;
        bool replaced = false;
        {
            // The playing patch, not one named in the request: this worker frees replaced patches
            // itself, and restore() only under the lock, so what is read here stays whole.
            const std::lock_guard<std::mutex> saving(savingMutex_);
            const LoadedPatch* patch = active_.load();
            replaced = patch->id != message.id;
            try {
                if (!replaced) twin = startAgain(*patch, rate_, error);
            } catch (const std::bad_alloc&) {
                error = "out of memory";
            }
        }
        if (!twin && !replaced) logError("the patch cannot start again with the transport: " + error);
        // Answered even without a twin, so the request is not awaited any longer.
        const PatchMessage ready{Work::TwinReady, twin.get(), message.id, message.ticket};
        if (respond(handle, sizeof ready, &ready) != LV2_WORKER_SUCCESS) return LV2_WORKER_ERR_NO_SPACE;
        twin.release();
        return LV2_WORKER_SUCCESS;
    }
    if (kind == Work::Complain && size == sizeof(ComplaintMessage)) {
        ComplaintMessage message;
        std::memcpy(&message, data, sizeof message);
        switch (message.complaint) {
            case Complaint::EmptyPath:
                logError("the host sent an empty configuration path; the patch plays on");
                break;
            case Complaint::PathTooLong:
                logError("the host sent a configuration path of " + std::to_string(message.bytes) +
                         " bytes, longer than " + std::to_string(kMaxPathBytes) + "; the patch plays on");
                break;
            case Complaint::NotAPath:
                logError(
                    "the host sent the configuration as something other than a file path; the patch "
                    "plays on");
                break;
            case Complaint::WindowEditUnread:
                logError("the window sent an edit of " + std::to_string(message.bytes) +
                         " bytes that is none the plugin knows; the patch plays on");
                break;
            case Complaint::WindowEditRefused:
                logError("the window's edit breaks the patch bay's rules and changes nothing");
                break;
        }
        return LV2_WORKER_SUCCESS;
    }
    if (kind != Work::Load || size <= offsetof(LoadRequest, path)) return LV2_WORKER_ERR_UNKNOWN;
    std::uint32_t ticket = 0;
    std::memcpy(&ticket, static_cast<const char*>(data) + offsetof(LoadRequest, ticket), sizeof ticket);
    const char* path = static_cast<const char*>(data) + offsetof(LoadRequest, path);
    const std::string file(path, strnlen(path, size - offsetof(LoadRequest, path)));
    std::string error;
    std::unique_ptr<LoadedPatch> patch;
    try {
        patch = loadPatchFile(file, rate_, error);
        if (patch) {
            patch->twin = startAgain(*patch, rate_, error);
            if (!patch->twin) patch.reset();
        }
    } catch (const std::bad_alloc&) {
        error = file + ": out of memory";
    }
    PatchMessage message{Work::Refused, nullptr, 0, ticket};
    if (patch) {
        message = {Work::Loaded, patch.get(), 0, ticket};
    } else {
        logError(error);
    }
    if (respond(handle, sizeof message, &message) != LV2_WORKER_SUCCESS) {
        if (patch) logError(file + ": the host could not take the loaded configuration");
        return LV2_WORKER_ERR_NO_SPACE;
    }
    patch.release();
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status VoltinaInstance::workResponse(std::uint32_t size, const void* data) {
    if (size != sizeof(PatchMessage)) return LV2_WORKER_ERR_UNKNOWN;
    PatchMessage message;
    std::memcpy(&message, data, sizeof message);
    // Not awaited (or already taken): nothing is installed or freed, whatever the message says.
    if (!redeem(message.ticket)) return LV2_WORKER_ERR_UNKNOWN;
    if (message.kind == Work::TwinReady) {
        if (message.patch == nullptr) return LV2_WORKER_SUCCESS;
        LoadedPatch* patch = playing();
        if (patch->id == message.id && patch->twin == nullptr) {
            patch->twin.reset(message.patch);
        } else {
            freeLater(message.patch);
        }
        return LV2_WORKER_SUCCESS;
    }
    if (message.kind == Work::Loaded && message.patch != nullptr) {
        if (!inRun_) {
            install(message.patch);
            return LV2_WORKER_SUCCESS;
        }
        // Answered inside run(): played from the next block, as an answer between blocks is.
        if (arrived_ != nullptr) freeLater(arrived_);
        arrived_ = message.patch;
    } else {
        // Refused: the host's file control goes back to the configuration that still plays.
        notifyAll_.store(true);
    }
    return LV2_WORKER_SUCCESS;
}

LV2_State_Status VoltinaInstance::save(LV2_State_Store_Function store, LV2_State_Handle handle,
                                       const LV2_Feature* const* features) {
    const auto* mapPath = static_cast<const LV2_State_Map_Path*>(feature(features, LV2_STATE__mapPath));
    const auto* freePath = static_cast<const LV2_State_Free_Path*>(feature(features, LV2_STATE__freePath));
    const std::lock_guard<std::mutex> saving(savingMutex_);
    const LoadedPatch* patch = active_.load();
    const std::string text = serializeConfiguration(patch->current());
    const std::uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    LV2_State_Status status =
        store(handle, uris_.configurationText, text.c_str(), text.size() + 1, uris_.atomString, flags);
    if (status == LV2_STATE_SUCCESS && !patch->sampleFile.empty() && !patch->sampleGone.load())
        status = store(handle, uris_.sampleFile, patch->sampleFile.data(), patch->sampleFile.size(),
                       uris_.atomChunk, flags);
    // The file's name only shows where the patch came from; the text and the sample above are the patch.
    if (status == LV2_STATE_SUCCESS && !patch->path.empty() && mapPath != nullptr) {
        char* abstract = mapPath->abstract_path(mapPath->handle, patch->path.c_str());
        if (abstract != nullptr) {
            status = store(handle, uris_.configuration, abstract, std::strlen(abstract) + 1, uris_.atomPath,
                           LV2_STATE_IS_POD);
            if (freePath != nullptr) {
                freePath->free_path(freePath->handle, abstract);
            } else {
                std::free(abstract);
            }
        }
    }
    return status;
}

LV2_State_Status VoltinaInstance::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                                          const LV2_Feature* const* features) {
    const auto* mapPath = static_cast<const LV2_State_Map_Path*>(feature(features, LV2_STATE__mapPath));
    const auto* freePath = static_cast<const LV2_State_Free_Path*>(feature(features, LV2_STATE__freePath));
    std::size_t size = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    const void* text = retrieve(handle, uris_.configurationText, &size, &type, &flags);
    if (text == nullptr || type != uris_.atomString) return LV2_STATE_ERR_NO_PROPERTY;
    const std::string configuration(static_cast<const char*>(text),
                                    strnlen(static_cast<const char*>(text), size));
    std::vector<std::uint8_t> sample;
    if (const void* bytes = retrieve(handle, uris_.sampleFile, &size, &type, &flags);
        bytes != nullptr && type == uris_.atomChunk)
        sample.assign(static_cast<const std::uint8_t*>(bytes),
                      static_cast<const std::uint8_t*>(bytes) + size);
    std::string path;
    if (const void* stored = retrieve(handle, uris_.configuration, &size, &type, &flags);
        stored != nullptr && type == uris_.atomPath) {
        path.assign(static_cast<const char*>(stored), strnlen(static_cast<const char*>(stored), size));
        if (mapPath != nullptr) {
            char* absolute = mapPath->absolute_path(mapPath->handle, path.c_str());
            if (absolute != nullptr) {
                path = absolute;
                if (freePath != nullptr) {
                    freePath->free_path(freePath->handle, absolute);
                } else {
                    std::free(absolute);
                }
            }
        }
    }
    std::string error;
    std::unique_ptr<LoadedPatch> patch;
    try {
        patch = loadPatchText(configuration, sample, path, rate_, error);
        if (patch) {
            patch->twin = startAgain(*patch, rate_, error);
            if (!patch->twin) patch.reset();
        }
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    }
    if (!patch) {
        logError("the saved state: " + error);
        return LV2_STATE_ERR_UNKNOWN;
    }
    LoadedPatch* replaced = nullptr;
    {
        // A save under way reads the patch it started with; once this swap is made none reads the old one.
        const std::lock_guard<std::mutex> saving(savingMutex_);
        replaced = active_.exchange(patch.release());
    }
    notifyAll_.store(true);
    // Restoring is not meant to overlap run(), but a host that loads a preset from its own thread while
    // the sound plays must not have the patch freed under the block that plays it. The mutex is not held
    // here: a synchronous worker frees patches inside run() under it.
    while (running_.load()) std::this_thread::yield();
    delete replaced;
    return LV2_STATE_SUCCESS;
}

}  // namespace voltina
