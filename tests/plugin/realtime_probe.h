#pragma once
// Counts what an audio thread must never do while a window is open: allocate, lock or wait, sleep,
// open or write a file, print. The test program replaces the C library's entry points with counting
// ones (the plugin's calls reach them through the dynamic linker), so the counts cover the plugin and
// everything it calls, libsamplerate and the C++ library included.

#include <string>

namespace voltina::test {

struct ProbeCounts {
    long allocations = 0;
    long locks = 0;
    long waits = 0;
    long files = 0;
    long prints = 0;
    std::string first;  // the first call counted
};

// The thread that opens the window is the only one counted.
void openProbeWindow();
ProbeCounts closeProbeWindow();

}  // namespace voltina::test
