#pragma once
// Text from outside (file names, take names, the command line, a port's name) on its way to a terminal:
// both programs print it through this one function.

#include <string>

namespace voltina {

// `text` with every control character (C0, DEL, C1) and every byte that is not UTF-8 written as an escape
// (\n, \t, \x1B...), so that names and texts taken from files or typed arguments cannot drive the
// terminal or forge a line of output.
std::string printableText(const std::string& text);

}  // namespace voltina
