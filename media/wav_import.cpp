#include "media/wav_import.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "media/riff_reader.h"

namespace voltina {

namespace {

WaveAllocationHook& allocationHook() {
    static WaveAllocationHook hook;
    return hook;
}

bool allocationAllowed(WaveAllocation what, std::size_t bytes) {
    const WaveAllocationHook& hook = allocationHook();
    return !hook || hook(what, bytes);
}

std::uint16_t formatU16(const SampleRecord& r, int at) {
    return static_cast<std::uint16_t>(r.format[at] | r.format[at + 1] << 8);
}

std::uint32_t formatU32(const SampleRecord& r, int at) {
    return static_cast<std::uint32_t>(formatU16(r, at)) | static_cast<std::uint32_t>(formatU16(r, at + 2))
                                                              << 16;
}

constexpr std::size_t kFormatBytes = sizeof(SampleRecord::format);
constexpr int kChannelsAt = 2;
constexpr int kSamplesPerSecAt = 4;
constexpr int kBitsPerSampleAt = 14;

// The steps after the file is open, in their order; the first that fails gives its message.
// The record is already s.waveSample, so a render running inside a message box only ever sees it whole or
// without bytes (stepWave plays silence for a record whose bytes are not all there).
const char* readSample(EngineState& s, ByteSource& source) {
    SampleRecord& record = *s.waveSample;
    RiffReader riff(source);

    RiffChunk wave;
    if (!riff.descendRiff(fourCC("WAVE"), wave)) return "Error reading file (1)";

    RiffChunk fmt;
    if (!riff.descendChunk(fourCC("fmt "), wave, fmt)) return "Error reading file (2)";
    // A short "fmt " chunk leaves the fields it does not reach at 0; an extended one's extra bytes are
    // not read.
    const std::size_t formatBytes = std::min<std::size_t>(fmt.size, kFormatBytes);
    if (riff.read(record.format, formatBytes) != formatBytes) return "Error reading file (3)";
    if (formatU16(record, 0) != 1) return "The wave must be a PCM wave";
    riff.ascend(fmt);

    RiffChunk data;
    if (!riff.descendChunk(fourCC("data"), wave, data)) return "Error reading file (4)";

    // Never more than the file can supply: a chunk that claims more than is there cannot be read whole,
    // and that is found out by reading what there is, not by believing the header.
    const std::uint32_t claimed = data.size;
    const std::size_t present = static_cast<std::size_t>(std::min<std::uint64_t>(claimed, riff.remaining()));
    std::vector<std::uint8_t> bytes;
    if (!allocationAllowed(WaveAllocation::Data, present)) return "Error allocating memory";
    try {
        bytes.assign(present, 0);
    } catch (const std::bad_alloc&) {
        return "Error allocating memory";
    }
    // An empty block has no address to lock.
    if (claimed == 0) return "Error locking memory";
    if (riff.read(bytes.data(), present) < claimed) return "Error reading file (5)";

    record.data = std::move(bytes);
    record.dataLength = claimed;
    return nullptr;
}

// Opens the bytes (null when they cannot be opened) and closes them again.
struct SampleSource {
    std::function<ByteSource*()> open;
    std::function<void()> close;
};

int loadFrom(EngineState& s, WaveSampleName& name, const std::string& fileName, const SampleSource& source,
             const MessageSink& showMessage) {
    // The record is freed before the message is shown: a message box lets the sound run, and it must not
    // play a sample that is being refused.
    auto refuse = [&](const std::string& message) {
        freeWaveSample(s);
        if (showMessage) showMessage(message);
        return 0;
    };

    freeWaveSample(s);
    if (!allocationAllowed(WaveAllocation::Record, sizeof(SampleRecord))) return refuse("Memory problem");
    s.waveSample.reset(new (std::nothrow) SampleRecord());
    if (!s.waveSample) return refuse("Memory problem");

    name.waveFileName = fileName;

    ByteSource* bytes = source.open();
    if (bytes == nullptr) return refuse("Error opening file");
    const char* problem = readSample(s, *bytes);
    source.close();
    if (problem != nullptr) return refuse(problem);

    const SampleRecord& record = *s.waveSample;
    const std::uint32_t rate = static_cast<std::uint32_t>(s.rateParam - 1);
    if (formatU16(record, kChannelsAt) != 1 || formatU32(record, kSamplesPerSecAt) != rate ||
        formatU16(record, kBitsPerSampleAt) != 8) {
        return refuse("The sound must be mono, 8 bits, " + std::to_string(rate) + " samples per second");
    }
    return 1;
}

}  // namespace

void setWaveAllocationHook(WaveAllocationHook hook) {
    allocationHook() = std::move(hook);
}

void freeWaveSample(EngineState& s) {
    s.waveSample.reset();
}

int loadWaveSample(EngineState& s, WaveSampleName& name, const std::string& fileName,
                   const MessageSink& showMessage) {
    FileBytes file;
    const SampleSource source{[&]() -> ByteSource* { return file.open(fileName) ? &file : nullptr; },
                              [&]() { file.close(); }};
    return loadFrom(s, name, fileName, source, showMessage);
}

int loadWaveSampleFromBytes(EngineState& s, WaveSampleName& name, const std::string& fileName,
                            const std::uint8_t* bytes, std::size_t size, const MessageSink& showMessage) {
    MemoryBytes memory(bytes, bytes != nullptr ? size : 0);
    const SampleSource source{[&]() -> ByteSource* { return &memory; }, []() {}};
    return loadFrom(s, name, fileName, source, showMessage);
}

int selectWaveFile(EngineState& s, WaveSampleName& name, const std::string& fileName,
                   const MessageSink& showMessage, const WaveButtonHooks& hooks) {
    const int wasUsed = s.outputUsed[kOutWave];
    s.outputUsed[kOutWave] = 0;
    if (s.waveSample) freeWaveSample(s);

    const int loaded = loadWaveSample(s, name, fileName, showMessage);
    // The flag goes back whatever the outcome: it is the cord's, not the sample's. A cord left plugged
    // with its output marked unused would be drawn yet dead, stay dead when a sample loads later, and
    // let the dark jack take a second cord. Without a sample the render loop plays nothing there anyway.
    s.outputUsed[kOutWave] = wasUsed;
    if (loaded == 1) {
        if (hooks.setWaveCaption) hooks.setWaveCaption(name.waveFileName);
        s.wavePos = 0;
    } else {
        if (hooks.stopSound) hooks.stopSound();
        if (hooks.setWaveCaption) hooks.setWaveCaption(kNoSampleCaption);
    }
    return loaded;
}

}  // namespace voltina
