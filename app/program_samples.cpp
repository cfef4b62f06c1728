#include "app/program_samples.h"

#include <QPushButton>
#include <filesystem>
#include <system_error>

#include "panel/panel_audio.h"
#include "panel/synth_panel.h"
#include "patch/panel_patch.h"
#include "resources/panel_template.h"

namespace voltina {

ProgramSamples::ProgramSamples(EngineState& state, PanelAudio& audio) : state_(state), audio_(audio) {}

void ProgramSamples::selectWaveFile(const std::string& name) {
    if (!panel_) {
        loadWithoutStep(name);
        return;
    }
    const PanelPatch before = panel_->session().snapshot();
    const bool loaded = loadWithoutStep(name) == 1;
    // The loader has read straight into the player (so a render inside its message boxes never sees a
    // half-made sample); the edit records what it did.
    panel_->session().applySince(before,
                                 loaded ? Edit::loadSample(state_.waveSample, path_) : Edit::removeSample());
}

int ProgramSamples::loadWithoutStep(const std::string& name) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(name, ec);
    const MessageSink showMessage = [this](const std::string& text) {
        if (panel_) panel_->showMessage(text);
    };
    const MessageDetailSink showDetail = [this](const std::string& text, const std::string& detail) {
        if (panel_) panel_->showMessage(text, detail);
    };
    WaveButtonHooks hooks;
    hooks.setWaveCaption = [this](const std::string& caption) {
        if (QPushButton* wave = panel_ ? panel_->button(ctl::kWave) : nullptr)
            wave->setText(QString::fromStdString(fileBaseName(caption)));
    };
    hooks.stopSound = [this] {
        audio_.stopSound();
        // Nothing plays now: H.P shows it, and one click starts the sound again.
        if (panel_) panel_->setSpeakerLit(false);
    };
    path_.clear();
    const int loaded = voltina::selectWaveFile(state_, name_, name, showMessage, hooks, showDetail);
    if (loaded == 1 && !ec) path_ = absolute.lexically_normal().string();
    return loaded;
}

void ProgramSamples::adoptSample(const std::string& path) {
    name_.waveFileName = path;
    path_ = path;
}

void ProgramSamples::freeWaveSample() {
    voltina::freeWaveSample(state_);
    path_.clear();
}

void ProgramSamples::forgetWaveFileName() {
    name_.waveFileName.clear();
    path_.clear();
}

std::string ProgramSamples::loadedPath() const {
    return state_.waveSample ? path_ : std::string();
}

}  // namespace voltina
