#include "recovery/recovery_settings.h"

namespace salvex {

RecoverySettings default_recovery_settings(AccessMode mode) {
    RecoverySettings settings;
    settings.sectors_per_read = mode == AccessMode::Library ? 8u : 60u;
    return settings;
}

bool settings_valid(const RecoverySettings& s) {
    const auto inRange = [](auto v, auto lo, auto hi) { return v >= lo && v <= hi; };
    return inRange(s.sectors_per_read.load(), 1u, kMaxSectorsPerRead) &&
           inRange(static_cast<uint16_t>(s.duplicate_policy.load()), 1, 3) &&
           inRange(static_cast<uint16_t>(s.deleted_policy.load()), 1, 3) &&
           inRange(s.bad_sector_retries.load(), uint16_t{1}, kMaxBadSectorRetries);
}

} // namespace salvex
