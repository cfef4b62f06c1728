#include "app/audio_system_adapter.h"

namespace voltina {

AudioSystemAdapter::AudioSystemAdapter(EngineState& state, AudioBackend backend, bool connectPorts,
                                       const std::string& jackClientName)
    : state_(state),
      audio_(std::make_unique<AudioSystem>(state, static_cast<AudioHooks&>(*this),
                                           createWaveDevice(backend, connectPorts, jackClientName))) {}

AudioSystemAdapter::~AudioSystemAdapter() = default;

void AudioSystemAdapter::showMessage(const std::string& text) {
    if (panel_) panel_->showMessage(text);
}
void AudioSystemAdapter::setSpeakerLit(bool lit) {
    if (panel_) panel_->setSpeakerLit(lit);
}
void AudioSystemAdapter::saveRecording() {
    if (panel_) panel_->saveRecording();
}
void AudioSystemAdapter::firstTick() {
    if (panel_) panel_->firstTick();
}
void AudioSystemAdapter::takeBegins(const std::string& spoolPath) {
    // The performance is spooled beside the frames, so a take recovered after a crash has it too.
    performance_.begin(spoolPath.empty() ? std::string() : performancePathFor(spoolPath),
                       [this] { return audio_->takeFrames(); });
}
void AudioSystemAdapter::takeFirstFrame() {
    performance_.captureStart(state_, samplePath_ ? samplePath_() : std::string());
}
void AudioSystemAdapter::takeEnds() {
    // A take that never rendered starts and ends in the state the sound stopped in.
    if (!performance_.hasStart()) takeFirstFrame();
    performance_.end();
}

}  // namespace voltina
