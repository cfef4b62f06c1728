#include "config/json_value.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <system_error>
#include <unordered_set>

namespace voltina {

namespace {

// Length of the UTF-8 sequence at text[i], or 0 when it is not well-formed.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = at(i);
    if (b < 0x80) return 1;
    std::size_t n;
    std::uint32_t cp;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        cp = b & 0x07;
    } else {
        return 0;  // a continuation byte out of place, an overlong lead (C0, C1) or beyond U+10FFFF
    }
    if (text.size() - i < n) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char c = at(i + k);
        if ((c & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (c & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000)) return 0;  // overlong
    if (cp >= 0xD800 && cp <= 0xDFFF) return 0;                        // surrogates are not characters
    if (cp > 0x10FFFF) return 0;
    return n;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool parseDocument(JsonValue& out, std::string& error) {
        // A byte-order mark is not JSON, but editors add it; it carries no meaning here.
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
        skipSpace();
        if (pos_ == text_.size()) return fail("the text is empty", error);
        if (!parseValue(out, 0, error)) return false;
        skipSpace();
        if (pos_ != text_.size()) return fail("unexpected text after the end of the JSON value", error);
        return true;
    }

  private:
    bool fail(const std::string& what, std::string& error) const {
        error = describePosition(text_, pos_) + ": " + what;
        return false;
    }

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    void skipSpace() {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) ++pos_;
    }

    std::string found() const {
        if (atEnd()) return "the end of the text";
        const unsigned char c = static_cast<unsigned char>(peek());
        if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
        char hex[24];
        std::snprintf(hex, sizeof hex, "the byte 0x%02X", c);
        return hex;
    }

    bool parseValue(JsonValue& v, int depth, std::string& error) {
        if (atEnd()) return fail("expected a value, found the end of the text", error);
        v.offset = pos_;
        switch (peek()) {
            case '{':
                return parseObject(v, depth + 1, error);
            case '[':
                return parseArray(v, depth + 1, error);
            case '"':
                v.kind = JsonValue::Kind::String;
                return parseString(v.string, error);
            case 't':
                v.kind = JsonValue::Kind::Boolean;
                v.boolean = true;
                return parseWord("true", error);
            case 'f':
                v.kind = JsonValue::Kind::Boolean;
                v.boolean = false;
                return parseWord("false", error);
            case 'n':
                v.kind = JsonValue::Kind::Null;
                return parseWord("null", error);
            default:
                if (peek() == '-' || (peek() >= '0' && peek() <= '9')) return parseNumber(v, error);
                return fail("expected a value, found " + found(), error);
        }
    }

    bool parseWord(const char* word, std::string& error) {
        const std::string_view w(word);
        if (text_.substr(pos_, w.size()) != w) return fail("expected a value, found " + found(), error);
        pos_ += w.size();
        return true;
    }

    bool parseObject(JsonValue& v, int depth, std::string& error) {
        if (depth > kMaxJsonDepth)
            return fail("nesting deeper than " + std::to_string(kMaxJsonDepth) + " levels", error);
        v.kind = JsonValue::Kind::Object;
        ++pos_;
        skipSpace();
        if (!atEnd() && peek() == '}') {
            ++pos_;
            return true;
        }
        std::unordered_set<std::string> keys;
        for (;;) {
            skipSpace();
            if (atEnd() || peek() != '"')
                return fail("expected a key in double quotes, found " + found(), error);
            const std::size_t keyOffset = pos_;
            std::string key;
            if (!parseString(key, error)) return false;
            // A repeated key would leave it unclear which value was meant.
            if (!keys.insert(key).second) {
                pos_ = keyOffset;
                return fail("the key " + jsonQuote(key) + " appears twice", error);
            }
            skipSpace();
            if (atEnd() || peek() != ':') return fail("expected ':' after the key, found " + found(), error);
            ++pos_;
            skipSpace();
            v.members.emplace_back(std::move(key), JsonValue());
            if (!parseValue(v.members.back().second, depth, error)) return false;
            skipSpace();
            if (atEnd()) return fail("expected ',' or '}', found the end of the text", error);
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            if (peek() == '}') {
                ++pos_;
                return true;
            }
            return fail("expected ',' or '}', found " + found(), error);
        }
    }

    bool parseArray(JsonValue& v, int depth, std::string& error) {
        if (depth > kMaxJsonDepth)
            return fail("nesting deeper than " + std::to_string(kMaxJsonDepth) + " levels", error);
        v.kind = JsonValue::Kind::Array;
        ++pos_;
        skipSpace();
        if (!atEnd() && peek() == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            skipSpace();
            v.items.emplace_back();
            if (!parseValue(v.items.back(), depth, error)) return false;
            skipSpace();
            if (atEnd()) return fail("expected ',' or ']', found the end of the text", error);
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            if (peek() == ']') {
                ++pos_;
                return true;
            }
            return fail("expected ',' or ']', found " + found(), error);
        }
    }

    bool parseHex4(std::uint32_t& value, std::string& error) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (atEnd()) return fail("the text ends inside a string", error);
            const char c = peek();
            unsigned digit;
            if (c >= '0' && c <= '9') {
                digit = static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                digit = static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                digit = static_cast<unsigned>(c - 'A' + 10);
            } else {
                return fail("expected four hexadecimal digits after \\u", error);
            }
            value = value << 4 | digit;
            ++pos_;
        }
        return true;
    }

    bool parseString(std::string& out, std::string& error) {
        ++pos_;  // the opening quote
        out.clear();
        for (;;) {
            if (atEnd()) return fail("the text ends inside a string", error);
            const unsigned char c = static_cast<unsigned char>(peek());
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c < 0x20)
                return fail("a control character must be written as an escape inside a string", error);
            if (c == '\\') {
                const std::size_t escapeStart = pos_;
                ++pos_;
                if (atEnd()) return fail("the text ends inside a string", error);
                const char e = peek();
                ++pos_;
                switch (e) {
                    case '"':
                        out += '"';
                        break;
                    case '\\':
                        out += '\\';
                        break;
                    case '/':
                        out += '/';
                        break;
                    case 'b':
                        out += '\b';
                        break;
                    case 'f':
                        out += '\f';
                        break;
                    case 'n':
                        out += '\n';
                        break;
                    case 'r':
                        out += '\r';
                        break;
                    case 't':
                        out += '\t';
                        break;
                    case 'u': {
                        std::uint32_t cp = 0;
                        if (!parseHex4(cp, error)) return false;
                        if (cp >= 0xDC00 && cp <= 0xDFFF) {
                            pos_ = escapeStart;
                            return fail("a low surrogate \\u escape without a high one before it", error);
                        }
                        if (cp >= 0xD800 && cp <= 0xDBFF) {
                            if (text_.substr(pos_, 2) != "\\u") {
                                pos_ = escapeStart;
                                return fail("a high surrogate \\u escape without a low one after it", error);
                            }
                            pos_ += 2;
                            std::uint32_t low = 0;
                            if (!parseHex4(low, error)) return false;
                            if (low < 0xDC00 || low > 0xDFFF) {
                                pos_ = escapeStart;
                                return fail("a high surrogate \\u escape without a low one after it", error);
                            }
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        }
                        appendUtf8(out, cp);
                        break;
                    }
                    default:
                        pos_ = escapeStart;
                        return fail("unknown escape in a string", error);
                }
                continue;
            }
            const std::size_t n = utf8SequenceLength(text_, pos_);
            if (n == 0) return fail("the string is not valid UTF-8", error);
            out.append(text_.substr(pos_, n));
            pos_ += n;
        }
    }

    bool parseNumber(JsonValue& v, std::string& error) {
        const std::size_t start = pos_;
        const auto digit = [&]() { return !atEnd() && peek() >= '0' && peek() <= '9'; };
        if (peek() == '-') ++pos_;
        if (!digit()) return fail("expected a digit", error);
        if (peek() == '0') {
            ++pos_;
            if (digit()) return fail("a number cannot start with 0 followed by digits", error);
        } else {
            while (digit()) ++pos_;
        }
        if (!atEnd() && peek() == '.') {
            ++pos_;
            if (!digit()) return fail("expected a digit after the decimal point", error);
            while (digit()) ++pos_;
        }
        if (!atEnd() && (peek() == 'e' || peek() == 'E')) {
            ++pos_;
            if (!atEnd() && (peek() == '+' || peek() == '-')) ++pos_;
            if (!digit()) return fail("expected a digit in the exponent", error);
            while (digit()) ++pos_;
        }
        const char* first = text_.data() + start;
        const char* last = text_.data() + pos_;
        double value = 0.0;
        const std::from_chars_result r = std::from_chars(first, last, value);
        if (r.ec != std::errc() || r.ptr != last || !std::isfinite(value)) {
            pos_ = start;
            return fail("the number is out of range", error);
        }
        v.kind = JsonValue::Kind::Number;
        v.number = value;
        v.numberText.assign(first, last);
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

const JsonValue* JsonValue::find(std::string_view key) const {
    for (const auto& member : members) {
        if (member.first == key) return &member.second;
    }
    return nullptr;
}

bool parseJson(std::string_view text, JsonValue& out, std::string& error) {
    JsonValue value;
    Parser parser(text);
    if (!parser.parseDocument(value, error)) return false;
    out = std::move(value);
    return true;
}

std::string describePosition(std::string_view text, std::size_t offset) {
    if (offset > text.size()) offset = text.size();
    int line = 1;
    int column = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string jsonQuote(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
                    out += hex;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8SequenceLength(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

}  // namespace voltina
