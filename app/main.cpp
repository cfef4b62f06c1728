// voltina: the synthesizer's window.

#include <cstdio>
#include <cstdlib>

#include "app/audio_system_port.h"
#include "app/program.h"
#include "app/t_app.h"
#include "audio/backend_choice.h"
#include "engine/engine_state.h"

int main(int argc, char** argv) {
    voltina::TApp app(argc, argv);
    const voltina::AudioOptions options = voltina::parseAudioOptions(argc, argv, std::getenv("VOLTINA_AUDIO"));
    if (!options.error.empty()) std::fprintf(stderr, "voltina: %s\n", options.error.c_str());
    voltina::EngineState state;
    voltina::AudioSystemPort audio(state, options.backend);
    const int status = voltina::runVoltina(app, voltina::systemPlatform(), audio, state);
    if (options.printStats) std::fprintf(stderr, "%s\n", audio.system().statsText().c_str());
    return status;
}
