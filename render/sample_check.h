#pragma once
// A sample a performance names: loaded as the panel loads it, and checked against the checksum taken when
// it played, so that a file changed since the take is said to be changed instead of sounding different.
// Plain C++.

#include <memory>
#include <string>

#include "engine/sample_record.h"

namespace voltina {

// "fnv1a64:" and 16 hex digits, over the sound bytes the Wave player loops (the header plays no part).
std::string sampleChecksum(const SampleRecord& sample);

// What is said of a sample whose sound is not the one its checksum names.
std::string changedSampleMessage(const std::string& path);

// Loads `path` at `rateParam`. Empty on success; otherwise what is wrong, naming the file ("sample
// LOOP.WAV: Impossible to open ..." or "... has changed since the take"). An empty `checksum` checks
// nothing.
std::string loadCheckedSample(const std::string& path, int rateParam, const std::string& checksum,
                              std::shared_ptr<SampleRecord>& sample);

}  // namespace voltina
