#include "app/rate_change.h"

#include <QMessageBox>

#include "panel/synth_panel.h"
#include "resources/menu_template.h"
#include "resources/panel_template.h"

namespace voltina {

std::string rateChangeCost(bool sampleLoaded, bool historyKept, bool forLoad) {
    if (forLoad) return historyKept ? "The undo history is cleared: the load cannot be undone." : "";
    if (sampleLoaded && historyKept) return "The sample is unloaded and the undo history is cleared.";
    if (sampleLoaded) return "The sample is unloaded.";
    if (historyKept) return "The undo history is cleared.";
    return "";
}

RateChange::RateChange(EngineState& state, std::function<void(int)> rebuild)
    : state_(state), rebuild_(std::move(rebuild)) {}

void RateChange::menuCommand(int commandId) {
    const int rateParam = commandId == cmd::kRate44100   ? 44101
                          : commandId == cmd::kRate22050 ? 22051
                                                         : kDefaultRateParam;
    if (rateParam != state_.rateParam && confirm(rateParam, false)) change(rateParam);
    // A checkable item ticks itself when chosen, even when the answer is No.
    if (panel_) panel_->showRate(state_.rateParam);
}

bool RateChange::confirm(int rateParam, bool forLoad) {
    if (rateParam == state_.rateParam) return true;
    const char* question = rateParam == 22051   ? kRate22050Question
                           : rateParam == 44101 ? kRate44100Question
                                                : nullptr;
    if (!question) return true;
    if (!panel_) return false;
    const EditHistory& history = panel_->session().history();
    QMessageBox box(QMessageBox::NoIcon, QString(), QString::fromUtf8(question),
                    QMessageBox::Yes | QMessageBox::No, panel_);
    const std::string cost =
        rateChangeCost(state_.waveSample != nullptr, history.canUndo() || history.canRedo(), forLoad);
    if (!cost.empty()) box.setInformativeText(QString::fromStdString(cost));
    return box.exec() == QMessageBox::Yes;
}

void RateChange::change(int rateParam) {
    if (!panel_) {
        if (rebuild_) rebuild_(rateParam);
        return;
    }
    // A take ends with the sound: the new rate does not start another one unasked.
    const bool playing = state_.speakerOn == 1 && state_.recordOn == 0;
    const bool listening = state_.midiOpen == 1;
    // H.P off as a click would put it: a take being recorded is offered for saving at the rate it has.
    if (state_.speakerOn == 1) panel_->onCommand(ctl::kSpeaker, panel_->control(ctl::kSpeaker));
    panel_->closeMidiInput();
    panel_->freeWaveSample();
    if (rebuild_) rebuild_(rateParam);
    // Undo would bring back patches, and samples, of another rate.
    panel_->session().clearHistory();
    panel_->showRate(state_.rateParam);
    if (listening) panel_->openMidiInput();
    if (playing && state_.speakerOn == 0) panel_->onCommand(ctl::kSpeaker, panel_->control(ctl::kSpeaker));
}

}  // namespace voltina
