// LZNT1, the compression of NTFS compressed files: a compression unit (normally 16 clusters) is
// stored as a series of chunks of at most 4,096 bytes, each either stored or compressed.
#pragma once

#include "disk/bytes.h"

#include <cstdint>
#include <span>

namespace salvex {

// Decompresses the chunks in `in` into `out`, stopping at the end marker, at the end of either
// buffer, or at a chunk that cannot be right. Returns the number of bytes produced; the rest of
// `out` is left as it was.
size_t lznt1_decompress(ByteView in, std::span<uint8_t> out);

} // namespace salvex
