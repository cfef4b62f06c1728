#pragma once
// Numbers out of a JSON value as this program's files need them: whole numbers exactly (80, 80.0 and 8e1
// alike), floats from the decimal text as written, so that a value written by to_chars reads back to the
// same bits. Plain C++.

#include <cstdint>
#include <string>

#include "config/json_value.h"

namespace voltina {

// A whole number from `low` to `high`; false for anything else (null, a fraction, a text).
bool jsonWholeNumber(const JsonValue* v, double low, double high, double& out);

// A finite float within [low, high], read from the text itself (through a double it could round twice).
bool jsonFloatNumber(const JsonValue* v, double low, double high, float& out);

// A float as the files write it: the shortest decimal text that reads back (through jsonFloatNumber) to
// the same bits.
std::string jsonFloatText(float f);

}  // namespace voltina
