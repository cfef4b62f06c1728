#include "patch/controller_binding.h"

#include <algorithm>

#include "patch/controls.h"

namespace voltina {

bool sameController(const ControllerBinding& a, const ControllerBinding& b) {
    return a.cc == b.cc && (a.midiChannel == 0 || b.midiChannel == 0 || a.midiChannel == b.midiChannel);
}

std::string controllerProblem(const ControllerBindings& bindings, std::size_t i) {
    const ControllerBinding& b = bindings[i];
    if (b.cc < 0 || b.cc > kMaxBoundController)
        return "cc must be a whole number from 0 to " + std::to_string(kMaxBoundController) +
               " (120 to 127 are channel-mode messages)";
    if (b.midiChannel < 0 || b.midiChannel > kMidiChannels)
        return "midi-channel must be a whole number from 1 to " + std::to_string(kMidiChannels);
    const int row = static_cast<int>(b.control);
    if (row < 0 || row >= static_cast<int>(std::size(kControls)) ||
        kControls[row].controllerScale == ControllerScale::None)
        return "no controller sets that control";
    const ControlOwnerNames& owner = ownerNames(kControls[row].owner);
    if (b.index < 0 || b.index >= owner.count)
        return std::string(owner.eventsName) + " must be 1 to " + std::to_string(owner.count);
    for (std::size_t k = 0; k < i; ++k) {
        if (sameController(bindings[k], b))
            return "cc " + std::to_string(b.cc) + " is bound already by controller " + std::to_string(k + 1);
    }
    return {};
}

ControllerBindings learnController(const ControllerBindings& bindings, const ControllerBinding& binding) {
    ControllerBindings kept;
    for (const ControllerBinding& b : bindings) {
        if (!sameController(b, binding) && !(b.control == binding.control && b.index == binding.index))
            kept.push_back(b);
    }
    kept.push_back(binding);
    return kept;
}

ControllerBindings forgetControllers(const ControllerBindings& bindings, Control control, int index) {
    ControllerBindings kept;
    for (const ControllerBinding& b : bindings) {
        if (!(b.control == control && b.index == index)) kept.push_back(b);
    }
    return kept;
}

const ControllerBinding* controllerOf(const ControllerBindings& bindings, Control control, int index) {
    const auto at = std::find_if(bindings.begin(), bindings.end(), [&](const ControllerBinding& b) {
        return b.control == control && b.index == index;
    });
    return at == bindings.end() ? nullptr : &*at;
}

std::string controllerTarget(const ControllerBinding& binding) {
    const ControlRow& row = controlRow(binding.control);
    return std::string(ownerNames(row.owner).fileLabel) + " " + std::to_string(binding.index + 1) + " " +
           (row.control == Control::WaveType ? "wave type" : row.fileName);
}

}  // namespace voltina
