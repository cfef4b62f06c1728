#pragma once
// A small, strict JSON reader for configuration files: it accepts exactly RFC 8259 JSON (an optional
// UTF-8 byte-order mark aside), refuses duplicate keys and nesting deeper than kMaxJsonDepth, and says
// where the first fault is. Plain C++, independent of the locale.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace voltina {

constexpr int kMaxJsonDepth = 64;

struct JsonValue {
    enum class Kind { Null, Boolean, Number, String, Array, Object };

    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0.0;
    std::string numberText;  // the number exactly as written, for readers that need another precision
    std::string string;      // UTF-8, escapes resolved
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;  // in file order
    std::size_t offset = 0;                                  // byte offset in the text where the value starts

    bool isNull() const { return kind == Kind::Null; }
    bool isBoolean() const { return kind == Kind::Boolean; }
    bool isNumber() const { return kind == Kind::Number; }
    bool isString() const { return kind == Kind::String; }
    bool isArray() const { return kind == Kind::Array; }
    bool isObject() const { return kind == Kind::Object; }

    // The member of an object with that key, or null when absent (or when this is not an object).
    const JsonValue* find(std::string_view key) const;
};

// False with "line L, column C: what is wrong" in `error`; `out` is then left as it was.
bool parseJson(std::string_view text, JsonValue& out, std::string& error);

// "line L, column C" (both counted from 1, columns in characters) for a byte offset in `text`.
std::string describePosition(std::string_view text, std::size_t offset);

// `text` as a JSON string literal, quotes included; non-ASCII UTF-8 is kept as it is.
std::string jsonQuote(std::string_view text);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool isValidUtf8(std::string_view text);

}  // namespace voltina
