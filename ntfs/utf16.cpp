#include "ntfs/utf16.h"

namespace salvex {

void append_utf8(std::string& out, char32_t cp) {
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

std::string utf16le_to_utf8(ByteView bytes, size_t at, size_t units) {
    constexpr char32_t kReplacement = 0xFFFD;
    std::string out;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        const auto unit = le16(bytes, at + 2 * i);
        if (!unit)
            break;
        const char32_t u = *unit;
        if (u >= 0xD800 && u <= 0xDBFF) {
            const auto next = (i + 1 < units) ? le16(bytes, at + 2 * (i + 1)) : std::nullopt;
            if (next && *next >= 0xDC00 && *next <= 0xDFFF) {
                append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (char32_t{*next} - 0xDC00));
                ++i;
                continue;
            }
            append_utf8(out, kReplacement);
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            append_utf8(out, kReplacement);
        } else {
            append_utf8(out, u);
        }
    }
    return out;
}

} // namespace salvex
