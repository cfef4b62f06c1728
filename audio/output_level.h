#pragma once
// The output's level, left and right, from the bytes rendered: the loudest frame since it was last read,
// and whether a byte reached the 8-bit edge, where the mix clips.
// GUI thread only: fed by the render, read by the panel's meter between two renders.

#include <cstdint>
#include <string>

namespace voltina {

struct LevelPeaks {
    int left = 0;  // 0..127, how far from silence (128) the farthest byte went
    int right = 0;
    bool clipped = false;  // a byte of either side at 1 or 255
};

class OutputLevel {
  public:
    void take(const std::uint8_t* bytes, int frames);
    // The peaks since the previous call; the next ones start from silence.
    LevelPeaks takePeaks();

  private:
    LevelPeaks peaks_;
};

// A peak (0..127) in percent of full scale, as the meter says it.
int levelPercent(int peak);

// The meter in words: "left 62 %, right 60 %", then ", clipping" when the mix reached the edge.
std::string levelWords(int leftPercent, int rightPercent, bool clipping);

}  // namespace voltina
