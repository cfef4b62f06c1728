#pragma once
// Reading a whole small file into memory for the readers that work from bytes (configurations, MIDI
// files). Refuses folders, devices and files larger than the reader can want. And the two things every
// writer of a file does alike: writing all its bytes, and asking whether a live program holds a file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace voltina {

// False with a sentence that starts with the path when the file cannot be read whole.
bool readFileBytes(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& bytes,
                   std::string& error);

// Writes all `size` bytes at the file's position, or at `*offset` (advanced past them) when one is given,
// going on after a signal and after a short write. False with errno's number in `errorNumber` (ENOSPC for
// a write that wrote nothing); what was written before stays.
bool writeFully(int fd, const void* data, std::size_t size, int& errorNumber,
                std::uint64_t* offset = nullptr);

// Whether a running program holds the file open on `fd` locked (flock), as a program holds its lock file
// and its take's spool. Unknown when the lock cannot be asked about (a file system without locks).
enum class FileLock { Free, HeldByAProgram, Unknown };
FileLock fileLockOf(int fd);

}  // namespace voltina
