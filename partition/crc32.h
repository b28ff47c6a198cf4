// The CRC-32 of the GUID partition table (IEEE 802.3, reflected, as zlib computes it).
#pragma once

#include "disk/bytes.h"

#include <cstdint>

namespace salvex {

uint32_t crc32(ByteView bytes);

} // namespace salvex
