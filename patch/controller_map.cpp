#include "patch/controller_map.h"

#include "patch/controls.h"

namespace voltina {

ControllerMap::ControllerMap() {
    for (auto& channel : coarse_) channel.fill(-1);
}

ControllerMap::ControllerMap(const ControllerBindings& bindings) : ControllerMap() {
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        const ControllerBinding& b = bindings[i];
        // The reader refuses what the table could not hold; a binding that slips past is left out.
        if (!controllerProblem(bindings, i).empty()) continue;
        bindings_.push_back(b);
        for (int channel = 0; channel < kMidiChannels; ++channel) {
            if (b.midiChannel == 0 || b.midiChannel == channel + 1)
                slots_[static_cast<std::size_t>(channel)][static_cast<std::size_t>(b.cc)] =
                    static_cast<std::uint16_t>(bindings_.size());
        }
    }
}

const ControllerBinding* ControllerMap::translate(std::uint32_t packed, Edit& edit) {
    if ((packed & 0xF0) != 0xB0) return nullptr;
    const std::size_t channel = packed & 0x0F;
    const int cc = static_cast<int>(packed >> 8 & 0x7F);
    const int value = static_cast<int>(packed >> 16 & 0x7F);
    if (cc > kMaxBoundController) return nullptr;
    int slot = slots_[channel][static_cast<std::size_t>(cc)];
    int position = value;
    int full = 127;
    if (slot != 0) {
        if (cc < kFineControllers)
            coarse_[channel][static_cast<std::size_t>(cc)] = static_cast<std::int8_t>(value);
    } else if (cc >= kFineControllers && cc < 2 * kFineControllers) {
        const std::size_t coarse = static_cast<std::size_t>(cc - kFineControllers);
        slot = slots_[channel][coarse];
        if (slot == 0 || coarse_[channel][coarse] < 0) return nullptr;
        position = coarse_[channel][coarse] * 128 + value;
        full = 16383;
    } else {
        return nullptr;
    }
    const ControllerBinding& b = bindings_[static_cast<std::size_t>(slot - 1)];
    const ControlRow& row = controlRow(b.control);
    edit = controlEdit(row, b.index, controllerValue(row, position, full));
    return &b;
}

}  // namespace voltina
