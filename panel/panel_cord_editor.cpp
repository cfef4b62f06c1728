#include "panel/panel_cord_editor.h"

#include <QGuiApplication>
#include <QPointer>

#include "panel/audio_port.h"
#include "panel/cord_overlay.h"
#include "panel/patch_bay.h"
#include "panel/t_princ.h"
#include "resources/artwork.h"

namespace voltina {

namespace {

class PanelCordEditor : public CordEditor, private PatchBayView {
public:
    explicit PanelCordEditor(TPrinc& panel)
        : panel_(panel), bay_(panel.state(), *this), overlay_(new CordOverlay(bay_, &panel)) {
        overlay_->setGeometry(panel.rect());
    }
    ~PanelCordEditor() override {
        // The overlay paints from the patch bay, which goes with this editor.
        delete overlay_.data();
    }

    PatchBay& bay() { return bay_; }

    // ---- CordEditor
    int plugState() const override { return bay_.plugState(); }
    void onJackClick(int ctrlId) override { bay_.onJackClick(ctrlId); }
    void moveBand(int x, int y, int clear) override { bay_.moveBand(x, y, clear); }
    void drawCords(int erase) override { bay_.drawCords(erase); }
    QWidget* overlay() override { return overlay_.data(); }

private:
    // ---- PatchBayView
    int toggleLamp(int jackId) override { return panel_.sendSetState(jackId, 2); }
    PanelPoint jackCorner(int jackId) const override {
        const QWidget* jack = panel_.control(jackId);
        if (!jack) return {};
        const QPoint p = jack->mapTo(&panel_, QPoint(0, 0));
        return {p.x(), p.y()};
    }
    void showMessage(const std::string& text) override { panel_.showMessage(text); }
    void setPlugCursor(bool plug) override {
        if (plug) {
            panel_.setCursor(plugCursor(panel_.devicePixelRatioF()));
        } else {
            panel_.setCursor(Qt::ArrowCursor);
        }
    }
    void selectSample() override { panel_.selectSample(); }
    void pumpUntilPanelPainted() override { panel_.audio().pumpUntilPainted(&panel_); }
    void cordsChanged() override {
        if (overlay_) overlay_->update();
    }
    void bandChanged(const PixelBox& area) override {
        if (overlay_) overlay_->update(QRect(area.left, area.top, area.right - area.left + 1, area.bottom - area.top + 1));
    }

    TPrinc& panel_;
    PatchBay bay_;
    QPointer<CordOverlay> overlay_;
};

}  // namespace

std::unique_ptr<CordEditor> makePanelCordEditor(TPrinc& panel) { return std::make_unique<PanelCordEditor>(panel); }

PatchBay* patchBayOf(CordEditor* editor) {
    auto* ours = dynamic_cast<PanelCordEditor*>(editor);
    return ours ? &ours->bay() : nullptr;
}

}  // namespace voltina
