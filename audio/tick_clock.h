#pragma once
// Milliseconds of a monotonic clock as a 32-bit count that wraps around, as the render gate's arithmetic
// expects. Any thread.

#include <chrono>
#include <cstdint>

namespace voltina {

inline std::uint32_t tickCount() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
    return static_cast<std::uint32_t>(ms);
}

// Signed distance from `earlier` to `later`, correct across one wrap of the 32-bit count.
inline std::int32_t tickDistance(std::uint32_t later, std::uint32_t earlier) {
    return static_cast<std::int32_t>(later - earlier);
}

}  // namespace voltina
