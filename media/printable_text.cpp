#include "media/printable_text.h"

#include <cstdint>

namespace voltina {

std::string printableText(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    auto escape = [&](unsigned char b) {
        out += "\\x";
        out += digits[b >> 4];
        out += digits[b & 0xF];
    };
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b == '\n' || b == '\t') {
            out += b == '\n' ? "\\n" : "\\t";
            ++i;
        } else if (b < 0x20 || b == 0x7F) {
            escape(b);
            ++i;
        } else if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
        } else {
            // A whole, shortest-form UTF-8 sequence is kept, except the C1 controls U+0080..U+009F.
            std::size_t len = 0;
            std::uint32_t cp = 0;
            if (b >= 0xC2 && b <= 0xDF) {
                len = 2;
                cp = b & 0x1Fu;
            } else if (b >= 0xE0 && b <= 0xEF) {
                len = 3;
                cp = b & 0x0Fu;
            } else if (b >= 0xF0 && b <= 0xF4) {
                len = 4;
                cp = b & 0x07u;
            }
            bool ok = len != 0 && i + len <= n;
            for (std::size_t k = 1; ok && k < len; ++k) {
                ok = (p[i + k] & 0xC0) == 0x80;
                cp = cp << 6 | (p[i + k] & 0x3Fu);
            }
            ok = ok && !(len == 3 && cp < 0x800) && !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
                 !(cp >= 0xD800 && cp <= 0xDFFF) && !(cp >= 0x80 && cp <= 0x9F);
            if (ok) {
                out.append(text, i, len);
                i += len;
            } else {
                escape(b);
                ++i;
            }
        }
    }
    return out;
}

}  // namespace voltina
