#include "panel/scope/panel_scope.h"

#include "panel/panel_audio.h"
#include "panel/scope/level_meter.h"
#include "panel/scope/scope_window.h"
#include "panel/synth_panel.h"
#include "patch/jack_number.h"
#include "resources/panel_template.h"

namespace voltina {

PanelScope::PanelScope(SynthPanel& panel) : panel_(panel), watch_(panel.state()) {
    meter_ = new LevelMeter(watch_.level(), &panel);
    // Under the H.P switch, in the strip of the panel that holds the switches.
    if (QWidget* speaker = panel.control(ctl::kSpeaker)) {
        const QRect hp = speaker->geometry();
        meter_->setGeometry(hp.left(), hp.bottom() + 4, 56, 12);
    }
    meter_->show();
    panel.audio().setRenderWatch(&watch_);
}

PanelScope::~PanelScope() {
    panel_.audio().setRenderWatch(nullptr);
    delete window_;
    delete meter_;
}

void PanelScope::showJack(int jackId) {
    if (!JackNumber::of(jackId).isJack()) return;
    if (!window_) {
        window_ = new ScopeWindow(watch_, panel_.state(), &panel_);
        const QWidget* frame = panel_.window();
        window_->move(frame->frameGeometry().right() + 8, frame->frameGeometry().top());
    }
    window_->showJack(jackId);
}

void PanelScope::open() {
    if (window_ && window_->jack() != 0) {
        showJack(window_->jack());
        return;
    }
    // At first, what the first mixer channel with a cord plays: past an auto-pan, the sound it pans.
    const EngineState& s = panel_.state();
    int output = 0;
    for (int ch = 0; ch < kMixerChannels; ++ch) {
        if (!hasCord(s, kInMixer + ch)) continue;
        output = s.cordSource[kInMixer + ch];
        if (isPanoramikerOutput(output) && hasCord(s, panoramikerSignalInput(output)))
            output = s.cordSource[panoramikerSignalInput(output)];
        break;
    }
    showJack(JackNumber::output(output).number());
}

}  // namespace voltina
