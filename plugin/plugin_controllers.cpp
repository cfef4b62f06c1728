#include "plugin/plugin_controllers.h"

#include "patch/apply_edit.h"

namespace voltina {

int controlParameter(Control control, int index) {
    // The host's frequency is the one typed under the knob; a controller sets the knob's.
    const Control shown = control == Control::Frequency ? Control::TypedFrequency : control;
    for (int p = 0; p < kParameterCount; ++p) {
        if (parameterControl(p).control == shown && parameterInfo(p).index == index) return p;
    }
    return -1;
}

int playController(LoadedPatch& patch, std::uint32_t packed) {
    Edit edit;
    const ControllerBinding* binding = patch.controllers.translate(packed, edit);
    if (binding == nullptr) return -1;
    EngineState& s = patch.sound->state();
    applyEdit(s, edit);
    const int p = controlParameter(binding->control, binding->index);
    if (p >= 0) patch.values[p].store(parameterValue(s, p), std::memory_order_relaxed);
    return p;
}

}  // namespace voltina
