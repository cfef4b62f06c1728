#include "panel/bitmap_table.h"

#include "resources/artwork.h"

namespace voltina {

int bitmapClassForId(int id) {
    if (id >= 117 && id <= 148) return (id - 117) / 8;
    if (id >= 301 && id <= 332) return 4;
    if (id >= 401 && id <= 432) return 5;
    if (id >= 177 && id <= 188) return 6;
    if (id >= 165 && id <= 167) return 7;
    if (id >= 168 && id <= 170) return 8;
    if (id >= 171 && id <= 173) return 9;
    if (id >= 174 && id <= 176) return 10;
    if (id == 189) return 11;
    if (id == 200) return 12;
    return 0;
}

bool isSidewaysOutputJack(int id) {
    return (id >= 401 && id <= 408) || (id >= 421 && id <= 428);
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
