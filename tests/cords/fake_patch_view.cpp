#include "tests/cords/fake_patch_view.h"

#include "resources/panel_template.h"

namespace voltina::test {

bool FakePatchView::toggleLamp(int jackId) {
    int& l = lamps[jackId];
    l = 1 - l;
    log.push_back("toggle " + std::to_string(jackId) + " -> " + std::to_string(l));
    return l == 1;
}

int FakePatchView::lamp(int jackId) const {
    const auto it = lamps.find(jackId);
    return it == lamps.end() ? 0 : it->second;
}

PanelPoint FakePatchView::jackCorner(int jackId) const {
    for (const ControlTemplate& t : panelTemplate()) {
        if (t.id == jackId) {
            const PixelRect r = t.place.toPixels();
            return {r.x, r.y};
        }
    }
    return {-1, -1};
}

void FakePatchView::showMessage(const std::string& text, const std::string& detail) {
    log.push_back("message " + text);
    messages.push_back(text);
    details.push_back(detail);
}

void FakePatchView::setPlugCursor(bool plug) {
    plugCursor = plug;
    ++cursorSets;
    log.push_back(plug ? "cursor plug" : "cursor arrow");
}

void FakePatchView::selectSample() {
    log.push_back("selectSample");
    if (onSelectSample) onSelectSample();
}

void FakePatchView::pumpUntilPanelPainted() {
    log.push_back("pump");
}

void FakePatchView::cordsChanged() {
    log.push_back(bay && bay->cordsErased() ? "erase" : "draw");
}

void FakePatchView::bandChanged(const PixelBox& area) {
    lastBandArea = area;
    ++bandChanges;
}

}  // namespace voltina::test
