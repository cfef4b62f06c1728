// The plugin's side of its window: the edits the window sends, applied at their frame as the panel
// applies them, and the panel the window shows. Audio thread only, like the rest of run(): nothing here
// allocates (the whole patches Undo, Redo and loads bring are filled into one made at instantiate).

#include <cstring>

#include "patch/apply_edit.h"
#include "plugin/plugin_edits.h"
#include "plugin/voltina_instance.h"

namespace voltina {

void VoltinaInstance::handleWindowEdit(const LV2_Atom* atom, std::uint32_t frame) {
    LoadedPatch* patch = playing();
    EngineState& s = patch->sound->state();
    const void* body = LV2_ATOM_BODY_CONST(atom);
    EditResult result;
    if (atom->type == uris_.windowEdit) {
        EditBody numbers;
        Edit edit;
        if (atom->size != sizeof numbers) return complain(Complaint::WindowEditUnread, atom->size);
        std::memcpy(&numbers, body, sizeof numbers);
        if (!editFromBody(numbers, edit)) return complain(Complaint::WindowEditUnread, atom->size);
        result = applyEdit(s, edit);
    } else {
        PatchEditBody whole;
        if (atom->size != sizeof whole) return complain(Complaint::WindowEditUnread, atom->size);
        std::memcpy(&whole, body, sizeof whole);
        if (!isPatchEditKind(whole.kind) || !panelFromBody(whole.panel, *windowPatch_))
            return complain(Complaint::WindowEditUnread, atom->size);
        // The window's patch says only whether it has a sample: the one playing, or the patch's own.
        windowPatch_->sample = whole.panel.hasSample == 0 ? nullptr
                               : s.waveSample             ? s.waveSample
                                                          : patch->sample;
        result = applyEdit(s, Edit{static_cast<EditKind>(whole.kind), 0, 0, 0, 0, 0.0f, windowPatch_});
        windowPatch_->sample.reset();
    }
    if (!result.taken()) return complain(Complaint::WindowEditRefused, atom->size);
    takeEditedValues(*patch, frame);
}

void VoltinaInstance::takeEditedValues(LoadedPatch& patch, std::uint32_t frame) {
    const EngineState& s = patch.sound->state();
    for (int p = 0; p < kParameterCount; ++p) {
        const float value = parameterValue(s, p);
        if (value == patch.values[p].load(std::memory_order_relaxed)) continue;
        patch.values[p].store(value, std::memory_order_relaxed);
        notifyParameter(p, frame);
    }
    patch.takeCords();
    patch.sampleGone.store(s.waveSample == nullptr && patch.sample != nullptr, std::memory_order_relaxed);
}

void VoltinaInstance::keepWindowEdits(const LoadedPatch& from, LoadedPatch& to) {
    if (from.sampleGone.load(std::memory_order_relaxed)) {
        applyEdit(to.sound->state(), Edit::removeSample());  // `to` holds its sample: nothing is freed
        to.sampleGone.store(true, std::memory_order_relaxed);
    }
    bool same = true;
    for (int in = 0; in < kJacks && same; ++in)
        same = from.cords[in].load(std::memory_order_relaxed) == to.cords[in].load(std::memory_order_relaxed);
    if (same) return;
    EngineState& s = to.sound->state();
    PanelBody settings = panelBody(s);
    for (int in = 0; in < kJacks; ++in)
        settings.cordSource[in] = from.cords[in].load(std::memory_order_relaxed);
    if (!panelFromBody(settings, *windowPatch_)) return;
    windowPatch_->sample = s.waveSample;
    applyEdit(s, Edit{EditKind::Restore, 0, 0, 0, 0, 0.0f, windowPatch_});
    windowPatch_->sample.reset();
    to.takeCords();
}

void VoltinaInstance::notifyPanel(std::uint32_t frame) {
    if (notify_ == nullptr) return;
    const PanelBody panel = panelBody(active_.load(std::memory_order_relaxed)->sound->state());
    if (!lv2_atom_forge_frame_time(&forge_, frame) ||
        !lv2_atom_forge_atom(&forge_, sizeof panel, uris_.panelShown))
        return;
    lv2_atom_forge_write(&forge_, &panel, sizeof panel);
}

}  // namespace voltina
