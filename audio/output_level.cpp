#include "audio/output_level.h"

#include <algorithm>
#include <cstdlib>

namespace voltina {

void OutputLevel::take(const std::uint8_t* bytes, int frames) {
    int left = peaks_.left;
    int right = peaks_.right;
    bool edge = false;
    for (int f = 0; f < frames; ++f) {
        const int l = bytes[2 * f];
        const int r = bytes[2 * f + 1];
        left = std::max(left, std::abs(l - 128));
        right = std::max(right, std::abs(r - 128));
        // The mixer clips its sum to -127..127, which the bytes hold as 1..255.
        edge = edge || l <= 1 || l >= 255 || r <= 1 || r >= 255;
    }
    peaks_.left = std::min(left, 127);
    peaks_.right = std::min(right, 127);
    peaks_.clipped = peaks_.clipped || edge;
}

LevelPeaks OutputLevel::takePeaks() {
    const LevelPeaks peaks = peaks_;
    peaks_ = {};
    return peaks;
}

int levelPercent(int peak) {
    return (std::clamp(peak, 0, 127) * 100 + 63) / 127;
}

std::string levelWords(int leftPercent, int rightPercent, bool clipping) {
    std::string words =
        "left " + std::to_string(leftPercent) + " %, right " + std::to_string(rightPercent) + " %";
    if (clipping) words += ", clipping";
    return words;
}

}  // namespace voltina
