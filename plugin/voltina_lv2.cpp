// The LV2 entry points: the descriptor and its worker and state interfaces, handed to VoltinaInstance.

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cstring>
#include <new>

#include "plugin/plugin_uris.h"
#include "plugin/voltina_instance.h"

namespace {

using voltina::VoltinaInstance;

VoltinaInstance* self(LV2_Handle h) {
    return static_cast<VoltinaInstance*>(h);
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    try {
        return VoltinaInstance::create(rate, features);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void connectPort(LV2_Handle h, uint32_t port, void* data) {
    self(h)->connect(port, data);
}

void activate(LV2_Handle) {}

void run(LV2_Handle h, uint32_t frames) {
    self(h)->run(frames);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle h) {
    delete self(h);
}

LV2_Worker_Status work(LV2_Handle h, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                       uint32_t size, const void* data) {
    return self(h)->work(respond, handle, size, data);
}

LV2_Worker_Status workResponse(LV2_Handle h, uint32_t size, const void* data) {
    return self(h)->workResponse(size, data);
}

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                      const LV2_Feature* const* features) {
    try {
        return self(h)->save(store, handle, features);
    } catch (const std::bad_alloc&) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                         uint32_t, const LV2_Feature* const* features) {
    try {
        return self(h)->restore(retrieve, handle, features);
    } catch (const std::bad_alloc&) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

const void* extensionData(const char* uri) {
    static const LV2_Worker_Interface worker = {work, workResponse, nullptr};
    static const LV2_State_Interface state = {save, restore};
    if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &worker;
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
    return nullptr;
}

const LV2_Descriptor descriptor = {voltina::kPluginUri, instantiate, connectPort,  activate, run,
                                   deactivate,          cleanup,     extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &descriptor : nullptr;
}
