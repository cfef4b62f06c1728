#include "media/wav_import.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "media/little_endian.h"
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
    return readLe16(r.format + at);
}

std::uint32_t formatU32(const SampleRecord& r, int at) {
    return readLe32(r.format + at);
}

constexpr std::size_t kFormatBytes = sizeof(SampleRecord::format);
// Room beside the sound for the other chunks a sample file may carry (lists, cues, peaks, pictures).
constexpr std::uint64_t kMaxOtherChunkBytes = std::uint64_t{16} << 20;
constexpr int kChannelsAt = 2;
constexpr int kSamplesPerSecAt = 4;
constexpr int kBitsPerSampleAt = 14;

// Why a load was refused: the short message, and what was wrong (empty when there is nothing to add).
struct Refusal {
    const char* message = nullptr;
    std::string reason;
};

// The steps after the file is open, in their order; the first that fails gives its message.
// The record is already s.waveSample, so a render running inside a message box only ever sees it whole or
// without bytes (stepWave plays silence for a record whose bytes are not all there).
Refusal readSample(EngineState& s, ByteSource& source) {
    SampleRecord& record = *s.waveSample;
    RiffReader riff(source);

    // A file far larger than any sample the player takes is refused before a byte of it is read: a
    // header anywhere in gigabytes would only lead to the same refusal, slowly.
    if (source.size() > kMaxSampleBytes + kMaxOtherChunkBytes)
        return {"The sample is too large (at most 256 MB)",
                std::to_string(source.size()) + " bytes in the file"};
    RiffChunk wave;
    if (!riff.descendRiff(fourCC("WAVE"), wave)) return {"Error reading file (1)", "not a RIFF WAVE file"};

    RiffChunk fmt;
    if (!riff.descendChunk(fourCC("fmt "), wave, fmt)) return {"Error reading file (2)", "no format chunk"};
    // A short "fmt " chunk leaves the fields it does not reach at 0; an extended one's extra bytes are
    // not read.
    const std::size_t formatBytes = std::min<std::size_t>(fmt.size, kFormatBytes);
    if (riff.read(record.format, formatBytes) != formatBytes)
        return {"Error reading file (3)", "format chunk ends past the file"};
    if (formatU16(record, 0) != 1)
        return {"The wave must be a PCM wave",
                "format " + std::to_string(formatU16(record, 0)) + ", not PCM"};
    riff.ascend(fmt);

    RiffChunk data;
    if (!riff.descendChunk(fourCC("data"), wave, data)) return {"Error reading file (4)", "no data chunk"};

    // Never more than the file can supply: a chunk that claims more than is there cannot be read whole,
    // and that is found out by reading what there is, not by believing the header.
    const std::uint32_t claimed = data.size;
    const std::size_t present = static_cast<std::size_t>(std::min<std::uint64_t>(claimed, riff.remaining()));
    const std::string tooMuch = std::to_string(present) + " bytes of sound";
    if (present > kMaxSampleBytes) return {"The sample is too large (at most 256 MB)", tooMuch};
    std::vector<std::uint8_t> bytes;
    if (!allocationAllowed(WaveAllocation::Data, present)) return {"Error allocating memory", tooMuch};
    try {
        bytes.assign(present, 0);
    } catch (const std::bad_alloc&) {
        return {"Error allocating memory", tooMuch};
    }
    // An empty block has no address to lock.
    if (claimed == 0) return {"Error locking memory", "data chunk is empty"};
    if (riff.read(bytes.data(), present) < claimed) {
        return {"Error reading file (5)", "data chunk ends past the file (" + std::to_string(claimed) +
                                              " bytes announced, " + std::to_string(present) + " present)"};
    }

    record.data = std::move(bytes);
    record.dataLength = claimed;
    return {};
}

// Why a file could not be opened, in the system's words.
std::string openFailure(const std::string& fileName, int error) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(fileName, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return "not a regular file";
    return std::strerror(error);
}

// What is wrong with a sample's form for the player at `rate`: its channels, sample size and rate.
std::string formFailure(const SampleRecord& record, std::uint32_t rate) {
    std::string wrong;
    auto add = [&wrong](const std::string& what) { wrong += (wrong.empty() ? "" : ", ") + what; };
    if (formatU16(record, kChannelsAt) != 1)
        add(std::to_string(formatU16(record, kChannelsAt)) + " channels");
    if (formatU16(record, kBitsPerSampleAt) != 8)
        add(std::to_string(formatU16(record, kBitsPerSampleAt)) + "-bit samples");
    if (formatU32(record, kSamplesPerSecAt) != rate)
        add(std::to_string(formatU32(record, kSamplesPerSecAt)) + " Hz");
    return wrong;
}

// Opens the bytes (null when they cannot be opened) and closes them again.
struct SampleSource {
    std::function<ByteSource*()> open;
    std::function<void()> close;
};

int loadFrom(EngineState& s, WaveSampleName& name, const std::string& fileName, const SampleSource& source,
             const MessageSink& showMessage, const MessageDetailSink& showDetail) {
    // The record is freed before the message is shown: a message box lets the sound run, and it must not
    // play a sample that is being refused.
    auto refuse = [&](const std::string& message, const std::string& reason) {
        freeWaveSample(s);
        if (showDetail) {
            showDetail(message, reason.empty() ? fileName : fileName + ": " + reason);
        } else if (showMessage) {
            showMessage(message);
        }
        return 0;
    };

    freeWaveSample(s);
    const std::string recordBytes = std::to_string(sizeof(SampleRecord)) + " bytes";
    if (!allocationAllowed(WaveAllocation::Record, sizeof(SampleRecord)))
        return refuse("Memory problem", recordBytes);
    s.waveSample.reset(new (std::nothrow) SampleRecord());
    if (!s.waveSample) return refuse("Memory problem", recordBytes);

    name.waveFileName = fileName;

    errno = 0;
    ByteSource* bytes = source.open();
    if (bytes == nullptr) return refuse("Error opening file", openFailure(fileName, errno));
    const Refusal problem = readSample(s, *bytes);
    source.close();
    if (problem.message != nullptr) return refuse(problem.message, problem.reason);

    const SampleRecord& record = *s.waveSample;
    const std::uint32_t rate = static_cast<std::uint32_t>(s.rateParam - 1);
    const std::string wrongForm = formFailure(record, rate);
    if (!wrongForm.empty()) {
        return refuse("The sound must be mono, 8 bits, " + std::to_string(rate) + " samples per second",
                      wrongForm);
    }
    return 1;
}

}  // namespace

void setWaveAllocationHook(WaveAllocationHook hook) {
    allocationHook() = std::move(hook);
}

void freeWaveSample(EngineState& s) {
    s.waveSample.reset();
    // The player's output falls silent with its sample: left holding its last value it would add a
    // constant offset to the mix and to every recording after it.
    s.outValue[kOutWave] = 0.0f;
}

std::string describeRefusal(const std::string& fileName, const std::string& message,
                            const std::string& detail) {
    const std::string prefix = fileName + ": ";
    const std::string reason =
        detail.compare(0, prefix.size(), prefix) == 0 ? detail.substr(prefix.size()) : std::string();
    if (reason.empty()) return message;
    // The box's step number ("Error reading file (1)") means nothing on one line where the reason is
    // said: "Error reading file (not a RIFF WAVE file)".
    std::string said = message;
    const std::size_t open = said.rfind(" (");
    if (open != std::string::npos && said.back() == ')' && open + 3 < said.size() &&
        said.find_first_not_of("0123456789", open + 2) == said.size() - 1)
        said.erase(open);
    return said + " (" + reason + ")";
}

int loadWaveSample(EngineState& s, WaveSampleName& name, const std::string& fileName,
                   const MessageSink& showMessage, const MessageDetailSink& showDetail) {
    FileBytes file;
    const SampleSource source{[&]() -> ByteSource* { return file.open(fileName) ? &file : nullptr; },
                              [&]() { file.close(); }};
    return loadFrom(s, name, fileName, source, showMessage, showDetail);
}

int loadWaveSampleFromBytes(EngineState& s, WaveSampleName& name, const std::string& fileName,
                            const std::uint8_t* bytes, std::size_t size, const MessageSink& showMessage) {
    MemoryBytes memory(bytes, bytes != nullptr ? size : 0);
    const SampleSource source{[&]() -> ByteSource* { return &memory; }, []() {}};
    return loadFrom(s, name, fileName, source, showMessage, {});
}

int selectWaveFile(EngineState& s, WaveSampleName& name, const std::string& fileName,
                   const MessageSink& showMessage, const WaveButtonHooks& hooks,
                   const MessageDetailSink& showDetail) {
    const int wasUsed = s.outputUsed[kOutWave];
    s.outputUsed[kOutWave] = 0;
    if (s.waveSample) freeWaveSample(s);

    const int loaded = loadWaveSample(s, name, fileName, showMessage, showDetail);
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
