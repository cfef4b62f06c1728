#pragma once
// Reading a whole small file into memory for the readers that work from bytes (configurations, MIDI
// files). Refuses folders, devices and files larger than the reader can want.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace voltina {

// False with a sentence that starts with the path when the file cannot be read whole.
bool readFileBytes(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& bytes,
                   std::string& error);

}  // namespace voltina
