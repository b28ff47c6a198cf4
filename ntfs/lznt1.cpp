#include "ntfs/lznt1.h"

#include <algorithm>
#include <cstring>

namespace salvex {

namespace {

constexpr size_t kChunkBytes = 4096;

// Decompresses one compressed chunk; returns the bytes produced or SIZE_MAX when it is damaged.
size_t decompress_chunk(ByteView chunk, std::span<uint8_t> out) {
    size_t in = 0;
    size_t pos = 0;
    while (in < chunk.size() && pos < out.size()) {
        const uint8_t flags = chunk[in++];
        for (int bit = 0; bit < 8 && in < chunk.size() && pos < out.size(); ++bit) {
            if ((flags & (1 << bit)) == 0) {
                out[pos++] = chunk[in++];
                continue;
            }
            const auto token = le16(chunk, in);
            if (!token || pos == 0)
                return SIZE_MAX;
            in += 2;
            // The split between displacement and length moves as the chunk fills: the further
            // in, the more bits the displacement needs.
            uint16_t lengthMask = 0x0FFF;
            int displacementShift = 12;
            for (size_t i = pos - 1; i >= 0x10; i >>= 1) {
                lengthMask >>= 1;
                --displacementShift;
            }
            const size_t length = (*token & lengthMask) + 3u;
            const size_t displacement = (*token >> displacementShift) + 1u;
            if (displacement > pos)
                return SIZE_MAX;
            for (size_t k = 0; k < length && pos < out.size(); ++k, ++pos)
                out[pos] = out[pos - displacement]; // may overlap: byte by byte
        }
    }
    return pos;
}

} // namespace

size_t lznt1_decompress(ByteView in, std::span<uint8_t> out) {
    size_t at = 0;
    size_t produced = 0;
    while (produced < out.size()) {
        const auto header = le16(in, at);
        if (!header || *header == 0)
            break;
        const size_t length = (*header & 0x0FFFu) + 1;
        const bool compressed = (*header & 0x8000u) != 0;
        at += 2;
        if (length > in.size() - at)
            break;
        const ByteView chunk = in.subspan(at, length);
        const auto target = out.subspan(produced, std::min(kChunkBytes, out.size() - produced));
        if (compressed) {
            const size_t n = decompress_chunk(chunk, target);
            if (n == SIZE_MAX)
                break;
            // A chunk that decompresses short still stands for 4,096 bytes, the rest zeros.
            std::fill(target.begin() + static_cast<long>(n), target.end(), uint8_t{0});
            produced += target.size();
        } else {
            const size_t n = std::min(chunk.size(), target.size());
            std::memcpy(target.data(), chunk.data(), n);
            produced += n;
        }
        at += length;
    }
    return produced;
}

} // namespace salvex
