// The plugin's side of its window: the edits the window sends, applied at their frame as the panel
// applies them, and the panel the window shows. Audio thread only, like the rest of run(): nothing here
// allocates (the whole patches Undo, Redo and loads bring are filled into one made at instantiate).

#include <cstring>

#include "patch/apply_edit.h"
#include "plugin/plugin_edits.h"
#include "plugin/voltina_instance.h"

namespace voltina {

void VoltinaInstance::handleWindowEdit(const LV2_Atom* atom) {
    const std::uint32_t expected = atom->type == uris_.windowEdit ? sizeof(EditBody) : sizeof(PatchEditBody);
    if (atom->size != expected) return complain(Complaint::WindowEditUnread, atom->size);
    PatchSink sink(*this, *playing());
    const std::uint32_t which = nextWindowEdit_++ % kWindowEdits;
    WindowEdit& slot = windowEdits_[which];
    if (slot.waiting) {
        // As many edits wait as there are slots: they act now, rather than lose one.
        sink.patch.sound->flush(sink);
        for (WindowEdit& e : windowEdits_) e.waiting = false;
    }
    slot.type = atom->type;
    slot.size = atom->size;
    std::memcpy(slot.body, LV2_ATOM_BODY_CONST(atom), atom->size);
    slot.waiting = true;
    TimedMessage message;
    message.kind = TimedMessage::Kind::Window;
    message.word = which;
    sink.patch.sound->post(message, sink);
}

void VoltinaInstance::applyWindowEdit(LoadedPatch& patch, std::uint32_t which) {
    WindowEdit& slot = windowEdits_[which % kWindowEdits];
    if (!slot.waiting) return;
    slot.waiting = false;
    EngineState& s = patch.sound->state();
    EditResult result;
    if (slot.type == uris_.windowEdit) {
        EditBody numbers;
        Edit edit;
        std::memcpy(&numbers, slot.body, sizeof numbers);
        if (!editFromBody(numbers, edit)) return complain(Complaint::WindowEditUnread, slot.size);
        result = applyEdit(s, edit);
    } else {
        PatchEditBody whole;
        std::memcpy(&whole, slot.body, sizeof whole);
        if (!isPatchEditKind(whole.kind) || !panelFromBody(whole.panel, *windowPatch_))
            return complain(Complaint::WindowEditUnread, slot.size);
        // The window's patch says only whether it has a sample: the one playing, or the patch's own.
        windowPatch_->sample = whole.panel.hasSample == 0 ? nullptr
                               : s.waveSample             ? s.waveSample
                                                          : patch.sample;
        result = applyEdit(s, Edit{static_cast<EditKind>(whole.kind), 0, 0, 0, 0, 0.0f, windowPatch_});
        windowPatch_->sample.reset();
    }
    if (!result.taken()) return complain(Complaint::WindowEditRefused, slot.size);
    takeEditedValues(patch);
}

void VoltinaInstance::takeEditedValues(LoadedPatch& patch) {
    const EngineState& s = patch.sound->state();
    for (int p = 0; p < kParameterCount; ++p) {
        const float value = parameterValue(s, p);
        if (value == patch.values[p].load(std::memory_order_relaxed)) continue;
        patch.values[p].store(value, std::memory_order_relaxed);
        taken_ |= std::uint64_t{1} << p;  // the host is told after the event, or at the block's end
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
