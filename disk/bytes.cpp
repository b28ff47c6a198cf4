#include "disk/bytes.h"

namespace salvex {

std::optional<uint64_t> le_uint(ByteView bytes, size_t at, size_t width) {
    if (width == 0 || width > 8 || at > bytes.size() || bytes.size() - at < width)
        return std::nullopt;
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;)
        value = (value << 8) | bytes[at + i];
    return value;
}

bool has_text_at(ByteView bytes, size_t at, std::string_view text) {
    if (at > bytes.size() || bytes.size() - at < text.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (bytes[at + i] != static_cast<uint8_t>(text[i]))
            return false;
    }
    return true;
}

bool has_boot_signature(ByteView sector) {
    return le8(sector, 510) == 0x55 && le8(sector, 511) == 0xAA;
}

} // namespace salvex
