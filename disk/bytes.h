// Bounds-checked little-endian field access over byte buffers read from a disk or a file.
//
// Every decoder in the program reads on-disk fields through these helpers: an offset that
// would leave the buffer yields an empty optional (or false), never a read past the end.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace salvex {

using ByteView = std::span<const uint8_t>;

// An unsigned little-endian value of `width` bytes (1 to 8) at `at`; nullopt past the end.
inline std::optional<uint64_t> le_uint(ByteView bytes, size_t at, size_t width) {
    if (width == 0 || width > 8 || at > bytes.size() || bytes.size() - at < width)
        return std::nullopt;
    uint64_t value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, bytes.data() + at, width);
    } else {
        for (size_t i = width; i-- > 0;)
            value = (value << 8) | bytes[at + i];
    }
    return value;
}

inline std::optional<uint8_t> le8(ByteView bytes, size_t at) {
    if (at >= bytes.size())
        return std::nullopt;
    return bytes[at];
}

inline std::optional<uint16_t> le16(ByteView bytes, size_t at) {
    const auto v = le_uint(bytes, at, 2);
    return v ? std::optional<uint16_t>(static_cast<uint16_t>(*v)) : std::nullopt;
}

inline std::optional<uint32_t> le32(ByteView bytes, size_t at) {
    const auto v = le_uint(bytes, at, 4);
    return v ? std::optional<uint32_t>(static_cast<uint32_t>(*v)) : std::nullopt;
}

inline std::optional<uint64_t> le64(ByteView bytes, size_t at) {
    return le_uint(bytes, at, 8);
}

// True when the bytes at `at` are exactly `text` (no terminator expected).
inline bool has_text_at(ByteView bytes, size_t at, std::string_view text) {
    return at <= bytes.size() && bytes.size() - at >= text.size() &&
           std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

// The two signature bytes 0x55 0xAA at offsets 510 and 511 of a sector.
inline bool has_boot_signature(ByteView sector) {
    return sector.size() >= 512 && sector[510] == 0x55 && sector[511] == 0xAA;
}

} // namespace salvex
