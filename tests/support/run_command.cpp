#include "tests/support/run_command.h"

#include <array>
#include <cstdio>

namespace voltina::test {

CommandResult runShell(const std::string& line) {
    CommandResult r;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) return r;
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.output.append(buffer.data(), n);
    r.status = ::pclose(pipe);
    return r;
}

CommandResult runCommand(const std::string& command) {
    return runShell(command + " 2>&1");
}

}  // namespace voltina::test
