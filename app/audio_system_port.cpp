#include "app/audio_system_port.h"

namespace voltina {

AudioSystemPort::AudioSystemPort(EngineState& state, AudioBackend backend, bool connectPorts)
    : audio_(std::make_unique<AudioSystem>(state, static_cast<AudioHooks&>(*this),
                                           createWaveDevice(backend, connectPorts))) {}

AudioSystemPort::~AudioSystemPort() = default;

void AudioSystemPort::showMessage(const std::string& text) {
    if (panel_) panel_->showMessage(text);
}
bool AudioSystemPort::askRateQuestion(const std::string& text) {
    return panel_ && panel_->askRateQuestion(text);
}
void AudioSystemPort::setSpeakerSwitchState(int state) {
    if (panel_) panel_->setSpeakerSwitchState(state);
}
void AudioSystemPort::saveRecording() {
    if (panel_) panel_->saveRecording();
}
void AudioSystemPort::closeMidiInput() {
    if (panel_) panel_->closeMidiInput();
}
void AudioSystemPort::freeWaveSample() {
    if (panel_) panel_->freeWaveSample();
}
void AudioSystemPort::updateRateChecks(int rateParam) {
    if (panel_) panel_->updateRateChecks(rateParam);
}
void AudioSystemPort::firstTick() {
    if (panel_) panel_->firstTick();
}

}  // namespace voltina
