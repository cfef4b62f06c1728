#include "engine/tables.h"

#include <cmath>

namespace voltina {

namespace {
// Not 2 pi: the tables stop slightly short of a full turn, and every pitch in the program is tuned to it.
constexpr double kTurn = 6.28232;
}  // namespace

std::vector<float> buildSineTable(int rateParam) {
    std::vector<float> table(static_cast<std::size_t>(rateParam));
    const double step = kTurn / rateParam;
    double angle = 0.0;
    for (int i = 0; i < rateParam; ++i) {
        table[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(angle) * 127);
        angle = angle + step;
    }
    return table;
}

void fillSinusoiderTable(float (&table)[256]) {
    const double step = kTurn / 256;
    double angle = 0.0;
    for (float& entry : table) {
        entry = static_cast<float>(std::sin(angle));
        angle = angle + step;
    }
}

}  // namespace voltina
