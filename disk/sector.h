// Sector addressing shared by every layer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace salvex {

// Every structure the program reads is addressed in 512-byte sectors; no other size exists.
inline constexpr size_t kSectorSize = 512;

// A logical block address: sector 0 is the first sector of the drive. 64-bit throughout, so
// disks beyond 2 TiB are addressed correctly.
using Lba = uint64_t;

} // namespace salvex
