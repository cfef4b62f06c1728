#include "config/json_numbers.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace voltina {

bool jsonWholeNumber(const JsonValue* v, double low, double high, double& out) {
    if (v == nullptr || !v->isNumber() || v->number != std::floor(v->number) || v->number < low ||
        v->number > high)
        return false;
    out = v->number;
    return true;
}

bool jsonFloatNumber(const JsonValue* v, double low, double high, float& out) {
    if (v == nullptr || !v->isNumber() || !(v->number >= low) || !(v->number <= high)) return false;
    const char* first = v->numberText.data();
    const char* last = first + v->numberText.size();
    const std::from_chars_result r = std::from_chars(first, last, out);
    return r.ec == std::errc() && r.ptr == last && std::isfinite(out);
}

std::string jsonFloatText(float f) {
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, f);
    return std::string(text, r.ptr);
}

}  // namespace voltina
