// voltina: the synthesizer's window.

#include "app/program.h"
#include "app/t_app.h"
#include "engine/engine_state.h"
#include "panel/silent_audio.h"

int main(int argc, char** argv) {
    voltina::TApp app(argc, argv);
    voltina::EngineState state;
    voltina::SilentAudioPort audio(state);
    return voltina::runVoltina(app, voltina::systemPlatform(), audio, state);
}
