#pragma once
// A panel for the patch bay without widgets: lamps, messages, cursor and sample choice are recorded in
// one log, in the order the patch bay asked for them; jack corners come from the panel template.

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "panel/patch_bay.h"

namespace voltina {
// Points read as (x, y) in failure messages.
inline void PrintTo(const PanelPoint& p, std::ostream* os) {
    *os << "(" << p.x << ", " << p.y << ")";
}
}  // namespace voltina

namespace voltina::test {

class FakePatchView : public PatchBayView {
  public:
    bool toggleLamp(int jackId) override;
    PanelPoint jackCorner(int jackId) const override;
    void showMessage(const std::string& text, const std::string& detail) override;
    void setPlugCursor(bool plug) override;
    void selectSample() override;
    void pumpUntilPanelPainted() override;
    void cordsChanged() override;
    void bandChanged(const PixelBox& area) override;

    int lamp(int jackId) const;

    // Set once the patch bay exists, so that a redraw can log whether it erased or drew.
    const PatchBay* bay = nullptr;
    std::map<int, int> lamps;
    std::vector<std::string> log;
    std::vector<std::string> messages;
    std::vector<std::string> details;
    bool plugCursor = false;
    int cursorSets = 0;
    // Band moves are counted apart from the log.
    PixelBox lastBandArea;
    int bandChanges = 0;
    // What the user does in the sample list.
    std::function<void()> onSelectSample;
};

}  // namespace voltina::test
