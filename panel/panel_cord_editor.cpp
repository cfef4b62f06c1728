#include "panel/panel_cord_editor.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>

#include "panel/cord_overlay.h"
#include "panel/panel_audio.h"
#include "panel/patch_bay.h"
#include "panel/synth_panel.h"
#include "resources/artwork.h"

namespace voltina {

namespace {

// Disabled controls (the operator signs, the section captions, the record switch while the sound is
// on) and static texts let the mouse through to the panel, so the band keeps following the mouse over
// them. Qt delivers their moves to them and stops there; this hands those moves on.
class MoveForwarder : public QObject {
  public:
    MoveForwarder(QWidget& panel, CordEditor& editor) : panel_(panel), editor_(editor) {}

    void watch(QWidget* control) {
        control->installEventFilter(this);
        // Without tracking Qt would not show their button-less moves to this filter.
        if (!control->isEnabled() || qobject_cast<QLabel*>(control)) control->setMouseTracking(true);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::MouseMove || editor_.heldCord() == HeldCord::None) return false;
        auto* control = static_cast<QWidget*>(watched);
        if (control->isEnabled() && !qobject_cast<QLabel*>(control)) return false;
        const QPoint p = control->mapTo(&panel_, static_cast<QMouseEvent*>(e)->position().toPoint());
        editor_.moveBand(p.x(), p.y() - kBandLift, 0);
        return false;
    }

  private:
    QWidget& panel_;
    CordEditor& editor_;
};

class PanelCordEditor : public CordEditor, private PatchBayView {
  public:
    explicit PanelCordEditor(SynthPanel& panel)
        : panel_(panel), bay_(panel.session(), *this), overlay_(new CordOverlay(bay_, &panel)) {
        overlay_->setGeometry(panel.rect());
        for (QWidget* control : panel.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control != overlay_) forwarder_.watch(control);
        }
    }
    ~PanelCordEditor() override {
        // The overlay paints from the patch bay, which goes with this editor.
        delete overlay_.data();
    }

    PatchBay& bay() { return bay_; }

    // ---- CordEditor
    HeldCord heldCord() const override { return bay_.heldCord(); }
    void onJackClick(int ctrlId) override { bay_.onJackClick(ctrlId); }
    void moveBand(int x, int y, int clear) override { bay_.moveBand(x, y, clear); }
    void tidyRoutingAndHideCords() override { bay_.tidyRoutingAndHideCords(); }
    void tidyRoutingAndShowCords() override { bay_.tidyRoutingAndShowCords(); }
    void dropHeldCord() override { bay_.dropHeldCord(); }
    QWidget* overlay() override { return overlay_.data(); }

  private:
    // ---- PatchBayView
    bool toggleLamp(int jackId) override { return panel_.toggleLamp(jackId); }
    PanelPoint jackCorner(int jackId) const override {
        const QWidget* jack = panel_.control(jackId);
        if (!jack) return {};
        const QPoint p = jack->mapTo(&panel_, QPoint(0, 0));
        return {p.x(), p.y()};
    }
    void showMessage(const std::string& text, const std::string& detail) override {
        panel_.showMessage(text, detail);
    }
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
        if (overlay_)
            overlay_->update(
                QRect(area.left, area.top, area.right - area.left + 1, area.bottom - area.top + 1));
    }

    SynthPanel& panel_;
    PatchBay bay_;
    QPointer<CordOverlay> overlay_;
    MoveForwarder forwarder_{panel_, *this};
};

}  // namespace

std::unique_ptr<CordEditor> makePanelCordEditor(SynthPanel& panel) {
    return std::make_unique<PanelCordEditor>(panel);
}

PatchBay* patchBayOf(CordEditor* editor) {
    auto* ours = dynamic_cast<PanelCordEditor*>(editor);
    return ours ? &ours->bay() : nullptr;
}

}  // namespace voltina
