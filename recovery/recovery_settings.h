// What the user can change of a recovery: sectors per sweep read, what to do with a name that
// exists, which files to write by their deleted state, and retries on bad sectors. The values
// live while the program runs; the window may change them while a worker reads them.
#pragma once

#include "disk/relaxed.h"
#include "disk/sector_reader.h"

#include <cstdint>

namespace salvex {

enum class DuplicatePolicy : uint16_t { Rename = 1, Overwrite = 2, Skip = 3 };
enum class DeletedPolicy : uint16_t { Include = 1, OnlyDeleted = 2, Exclude = 3 };

struct RecoverySettings {
    Relaxed<uint32_t> sectors_per_read{60}; // 1 to 100: sectors per read of the sector sweep
    Relaxed<DuplicatePolicy> duplicate_policy{DuplicatePolicy::Rename};
    Relaxed<DeletedPolicy> deleted_policy{DeletedPolicy::Include};
    Relaxed<uint16_t> bad_sector_retries{3}; // 1 to 10
};

inline constexpr uint32_t kMaxSectorsPerRead = 100;
inline constexpr uint16_t kMaxBadSectorRetries = 10;

// The settings a fresh start has: 60 sectors per read in device mode, 8 in library mode.
RecoverySettings default_recovery_settings(AccessMode mode);

// True when every value lies in its allowed range.
bool settings_valid(const RecoverySettings& settings);

} // namespace salvex
