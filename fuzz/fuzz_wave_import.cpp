// The Wave player's loader on arbitrary bytes: it either loads a playable sample or refuses with exactly
// one of its messages and leaves no sample, and it never asks for more memory than the bytes hold.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/modules.h"
#include "media/wav_import.h"

using namespace voltina;

namespace {

bool knownMessage(const std::string& text) {
    static const char* const messages[] = {
        "Memory problem",
        "Error opening file",
        "Error reading file (1)",
        "Error reading file (2)",
        "Error reading file (3)",
        "The wave must be a PCM wave",
        "Error reading file (4)",
        "Error allocating memory",
        "Error locking memory",
        "Error reading file (5)",
        "The sound must be mono, 8 bits, 11025 samples per second",
    };
    for (const char* m : messages)
        if (text == m) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    setWaveAllocationHook([size](WaveAllocation what, std::size_t bytes) {
        if (what == WaveAllocation::Data && bytes > size) std::abort();
        return true;
    });
    EngineState state;
    WaveSampleName name;
    int messages = 0;
    const int loaded =
        loadWaveSampleFromBytes(state, name, "FUZZ.WAV", data, size, [&](const std::string& text) {
            ++messages;
            if (!knownMessage(text)) std::abort();
        });
    if (name.waveFileName != "FUZZ.WAV") std::abort();
    if (loaded == 1) {
        const SampleRecord* sample = state.waveSample.get();
        if (messages != 0 || sample == nullptr) std::abort();
        if (sample->dataLength == 0 || sample->data.size() != sample->dataLength) std::abort();
        if (sample->format[0] != 1 || sample->format[1] != 0 || sample->format[2] != 1 ||
            sample->format[14] != 8)
            std::abort();
        // The player loops over exactly the bytes loaded, from the first.
        for (std::uint32_t i = 0; i < 3000 && i <= sample->dataLength; ++i) {
            stepWave(state);
            if (state.outValue[kOutWave] != static_cast<float>(sample->data[i % sample->dataLength]) - 128.0f)
                std::abort();
        }
    } else {
        if (loaded != 0 || messages != 1 || state.waveSample != nullptr) std::abort();
    }
    return 0;
}
