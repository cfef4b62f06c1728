#pragma once
// The sample the Wave player loops, as the WAV reader leaves it.

#include <cstdint>
#include <vector>

namespace voltina {

// The sample the Wave player loops: 8-bit unsigned mono bytes at the output's rate.
struct SampleRecord {
    std::uint8_t format[16] = {};  // the first 16 bytes of the file's "fmt " chunk
    std::vector<std::uint8_t> data;
    std::uint32_t dataLength = 0;  // bytes in data
};

}  // namespace voltina
