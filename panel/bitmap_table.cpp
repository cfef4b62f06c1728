#include "panel/bitmap_table.h"

#include "patch/jack_number.h"
#include "resources/artwork.h"
#include "resources/panel_template.h"

namespace voltina {

int bitmapClassForId(int id) {
    // The wave-type buttons: one class per type, eight buttons each.
    if (id >= ctl::kOscType0 && id < ctl::kOscType0 + 4 * kOscillators)
        return (id - ctl::kOscType0) / kOscillators;
    if (JackNumber::of(id).isInput()) return 4;
    if (JackNumber::of(id).isOutput()) return 5;
    // The signs: what each module does with its inputs (one class for each group), then the "gives"
    // signs (one class for all).
    const int sign = id - ctl::kFirstSign;
    if (sign >= 4 * kModulesPerGroup && id <= ctl::kLastSign) return 6;
    if (sign >= 0 && sign < 4 * kModulesPerGroup) return 7 + sign / kModulesPerGroup;
    if (id == ctl::kSpeaker) return 11;
    if (id == ctl::kRecord) return 12;
    return 0;
}

bool isSidewaysOutputJack(int id) {
    // The oscillators' outputs lie on their side.
    const JackNumber jack = JackNumber::of(id);
    if (!jack.isOutput()) return false;
    const int o = jack.index();
    return (o >= kOutOscA && o < kOutOscA + kOscillators) || (o >= kOutOscB && o < kOutOscB + kOscillators);
}

int bitmapIdFor(int ctrlId, int state) {
    const int lit = state != 0 ? 1 : 0;
    if (lit && isSidewaysOutputJack(ctrlId)) return art::kSidewaysPlugOutput;
    return kBitmapTable[bitmapClassForId(ctrlId)][lit];
}

void PanelBitmaps::load(qreal devicePixelRatio) {
    pixmaps_.clear();
    auto take = [&](int id) {
        if (id != kNoPicture) pixmaps_[id] = renderArtwork(id, devicePixelRatio);
    };
    for (const auto& row : kBitmapTable) {
        take(row[0]);
        take(row[1]);
    }
    take(art::kRedKnobFace);
    take(art::kBlueKnobFace);
    take(art::kSidewaysPlugOutput);
}

void PanelBitmaps::release() {
    pixmaps_.clear();
}

const QPixmap& PanelBitmaps::get(int resourceId) const {
    const auto it = pixmaps_.find(resourceId);
    return it == pixmaps_.end() ? none_ : it->second;
}

}  // namespace voltina
