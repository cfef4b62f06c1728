#include "render/sample_check.h"

#include <cstdint>

#include "engine/engine_state.h"
#include "media/wav_import.h"

namespace voltina {

std::string sampleChecksum(const SampleRecord& sample) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    const std::size_t length = std::min<std::size_t>(sample.dataLength, sample.data.size());
    for (std::size_t i = 0; i < length; ++i) {
        hash ^= sample.data[i];
        hash *= 0x100000001b3ULL;
    }
    static const char digits[] = "0123456789abcdef";
    std::string text = "fnv1a64:";
    for (int shift = 60; shift >= 0; shift -= 4) text += digits[(hash >> shift) & 0xF];
    return text;
}

std::string changedSampleMessage(const std::string& path) {
    return "sample " + path + " has changed since the take (its sound is not the one that played)";
}

std::string loadCheckedSample(const std::string& path, int rateParam, const std::string& checksum,
                              std::shared_ptr<SampleRecord>& sample) {
    auto player = std::make_unique<EngineState>();
    player->rateParam = rateParam;
    WaveSampleName name;
    std::string said;
    const MessageDetailSink tell = [&](const std::string& text, const std::string& detail) {
        said = describeRefusal(path, text, detail);
    };
    if (loadWaveSample(*player, name, path, {}, tell) != 1) return "sample " + path + ": " + said;
    if (!checksum.empty() && sampleChecksum(*player->waveSample) != checksum)
        return changedSampleMessage(path);
    sample = player->waveSample;
    return {};
}

}  // namespace voltina
