#include "media/wav_file.h"

#include <cstring>

#include "media/atomic_file.h"
#include "media/little_endian.h"

namespace voltina {

namespace {

void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

void putTag(std::uint8_t* p, const char* tag) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(tag[i]);
}

}  // namespace

WaveFormat recordingFormat(int rateParam, int stereoOut) {
    WaveFormat f;
    f.formatTag = 1;
    f.samplesPerSec = static_cast<std::uint32_t>(rateParam - 1);
    f.bitsPerSample = 8;
    if (stereoOut) {
        f.channels = 2;
        f.blockAlign = 2;
        f.avgBytesPerSec = 2 * f.samplesPerSec;
    } else {
        f.channels = 1;
        f.blockAlign = 1;
        f.avgBytesPerSec = f.samplesPerSec;
    }
    return f;
}

std::string makeWaveFileName(const std::string& typed) {
    std::string name = typed;
    for (char& c : name) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b >= 'a' && b <= 'z') {
            c = static_cast<char>(b - 'a' + 'A');
        } else if (!((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z'))) {
            c = '_';
        }
    }
    return name;
}

void encodeWaveFormat(const WaveFormat& format, std::uint8_t (&out)[16]) {
    put16(out + 0, format.formatTag);
    put16(out + 2, format.channels);
    put32(out + 4, format.samplesPerSec);
    put32(out + 8, format.avgBytesPerSec);
    put16(out + 12, format.blockAlign);
    put16(out + 14, format.bitsPerSample);
}

std::vector<std::uint8_t> waveHeader(const WaveFormat& format, std::uint32_t dataLength) {
    std::vector<std::uint8_t> h(kWaveHeaderBytes);
    putTag(&h[0], "RIFF");
    put32(&h[4], 36u + dataLength + (dataLength & 1u));
    putTag(&h[8], "WAVE");
    putTag(&h[12], "fmt ");
    put32(&h[16], 16);
    std::uint8_t fmt[16];
    encodeWaveFormat(format, fmt);
    for (int i = 0; i < 16; ++i) h[20 + i] = fmt[i];
    putTag(&h[36], "data");
    put32(&h[40], dataLength);
    return h;
}

bool readWaveHeader(const std::uint8_t (&h)[kWaveHeaderBytes], WaveFormat& f, std::uint32_t& dataLength) {
    const auto tag = [&h](int at, const char* name) { return std::memcmp(h + at, name, 4) == 0; };
    f.formatTag = readLe16(h + 20);
    f.channels = readLe16(h + 22);
    f.samplesPerSec = readLe32(h + 24);
    f.avgBytesPerSec = readLe32(h + 28);
    f.blockAlign = readLe16(h + 32);
    f.bitsPerSample = readLe16(h + 34);
    dataLength = readLe32(h + 40);
    return tag(0, "RIFF") && tag(8, "WAVE") && tag(12, "fmt ") && readLe32(h + 16) == 16 && tag(36, "data");
}

void leftBytesOfFrames(const std::uint8_t* frames, std::size_t frameBytes, std::vector<std::uint8_t>& mono) {
    mono.resize(frameBytes / 2);
    for (std::size_t i = 0; i < mono.size(); ++i) mono[i] = frames[2 * i];
}

std::vector<std::uint8_t> waveDataFromFrames(const WaveFormat& format, const std::uint8_t* frames,
                                             std::size_t frameBytes) {
    if (format.channels != 1) return std::vector<std::uint8_t>(frames, frames + frameBytes);
    std::vector<std::uint8_t> mono;
    leftBytesOfFrames(frames, frameBytes, mono);
    return mono;
}

bool writeWaveFile(const std::string& path, const WaveFormat& format, const std::uint8_t* data,
                   std::size_t length, std::string& error) {
    if (length > kMaxWaveDataBytes) {
        error = "Cannot write " + path + ": the recording is too long for a WAV file";
        return false;
    }
    const std::uint32_t dataLength = static_cast<std::uint32_t>(length);
    std::vector<std::uint8_t> header = waveHeader(format, dataLength);
    // The size field starts as a placeholder and is set from the file's real length at the end, so it
    // can never disagree with what the file holds.
    put32(&header[4], 0);
    AtomicFile file;
    if (!file.open(path, error)) return false;
    if (!file.write(header.data(), header.size(), error)) return false;
    if (length > 0 && !file.write(data, length, error)) return false;
    // RIFF chunks are word-aligned: an odd data chunk (a mono recording of an odd number of frames) is
    // followed by a pad byte that its size does not count but the RIFF size does.
    const std::size_t pad = length & 1;
    if (pad != 0 && !file.write("", 1, error)) return false;
    std::uint64_t fileLength = 0;
    if (!file.length(fileLength, error)) return false;
    if (fileLength != kWaveHeaderBytes + length + pad) {
        error = "Cannot write " + path + ": the file came out at the wrong length";
        return false;
    }
    std::uint8_t riffSize[4];
    put32(riffSize, static_cast<std::uint32_t>(fileLength - 8));
    if (!file.writeAt(4, riffSize, sizeof riffSize, error)) return false;
    return file.commit(error);
}

bool saveWaveFile(const std::string& path, const WaveFormat& format, const std::uint8_t* frames,
                  std::size_t frameBytes, std::string& error) {
    if (format.channels == 1) {
        const std::vector<std::uint8_t> mono = waveDataFromFrames(format, frames, frameBytes);
        return writeWaveFile(path, format, mono.data(), mono.size(), error);
    }
    return writeWaveFile(path, format, frames, frameBytes, error);
}

}  // namespace voltina
