#pragma once
// Tests judge what the programs write with outside tools (sox, sndfile-info, jack_lsp, the installed
// programs), run through a shell.

#include <string>

namespace voltina::test {

struct CommandResult {
    int status = -1;     // the shell's wait status as pclose gives it; -1 when no shell could be started
    std::string output;  // everything the command wrote on the pipe
};

// Runs `line` in a shell and reads its standard output to the end; redirections are the caller's.
CommandResult runShell(const std::string& line);

// Runs `command` with its standard error joined to its standard output.
CommandResult runCommand(const std::string& command);

}  // namespace voltina::test
