#pragma once
// The WAV file a recording is saved as: RIFF WAVE, 8-bit unsigned PCM at the output's sample rate, a
// 44-byte header ("RIFF", "fmt " of 16 bytes, "data") followed by the sound bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace voltina {

// The six PCM fields of a "fmt " chunk, in file order.
struct WaveFormat {
    std::uint16_t formatTag = 1;  // PCM
    std::uint16_t channels = 2;
    std::uint32_t samplesPerSec = 11025;
    std::uint32_t avgBytesPerSec = 22050;
    std::uint16_t blockAlign = 2;
    std::uint16_t bitsPerSample = 8;
};

constexpr std::size_t kWaveHeaderBytes = 44;
// The most sound bytes a WAV file can hold: its RIFF size field is 32 bits and counts 36 + the data
// length (+ 1 pad byte when the length is odd).
constexpr std::uint64_t kMaxWaveDataBytes = 0xFFFFFFFFull - 37;

// The recording's format for the stored rate (sample rate + 1) and the device's channel count.
// A single-channel device gets a true mono file: 1 channel, block align 1, one byte per frame
// (a 1-channel header over 2-byte frames would be a corrupt file).
WaveFormat recordingFormat(int rateParam, int stereoOut);

// The typed name made safe for a file name: a..z become A..Z, and every byte that is not 0-9 or A-Z
// (bytes of 128 and above included) becomes "_". "ab-1" gives "AB_1".
std::string makeWaveFileName(const std::string& typed);

// The 16 bytes of the "fmt " chunk's body, little-endian.
void encodeWaveFormat(const WaveFormat& format, std::uint8_t (&out)[16]);

// The 44-byte header for `dataLength` sound bytes, with the RIFF size 36 + dataLength (+ 1 when odd).
std::vector<std::uint8_t> waveHeader(const WaveFormat& format, std::uint32_t dataLength);

// Reads back a header waveHeader wrote (a take's spool): true when the tags and the format chunk's size
// are where it puts them, with the format and the data chunk's size. The RIFF size is not looked at:
// while a take records it trails the data.
bool readWaveHeader(const std::uint8_t (&header)[kWaveHeaderBytes], WaveFormat& format,
                    std::uint32_t& dataLength);

// The left byte of each stereo frame (left, right, left, right...) into `mono`, resized to fit: what a
// single-channel file holds of frames that are always rendered in two bytes.
void leftBytesOfFrames(const std::uint8_t* frames, std::size_t frameBytes, std::vector<std::uint8_t>& mono);

// The sound bytes a file of `format` holds for recorded frames (left, right, left, right...): the frames
// as they are in stereo, the left byte of each frame in mono.
std::vector<std::uint8_t> waveDataFromFrames(const WaveFormat& format, const std::uint8_t* frames,
                                             std::size_t frameBytes);

// Writes the header and `length` bytes of `data` to `path` (plus a zero pad byte when `length` is odd,
// as RIFF asks); the RIFF size is patched from the file's length once everything else is written. The target
// appears whole or not at all: on failure no file is left (an existing file of that name stays as it was) and
// `error` says why.
bool writeWaveFile(const std::string& path, const WaveFormat& format, const std::uint8_t* data,
                   std::size_t length, std::string& error);

// A recording of `frameBytes` bytes of stereo frames saved in `format` (mono keeps the left bytes).
bool saveWaveFile(const std::string& path, const WaveFormat& format, const std::uint8_t* frames,
                  std::size_t frameBytes, std::string& error);

}  // namespace voltina
