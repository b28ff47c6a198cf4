// The two ways a volume is scanned.
#pragma once

#include <cstdint>

namespace salvex {

enum class ScanMode : int16_t {
    Unset = -1,
    Standard = 1, // trusts the partition table, the boot sector and the $MFT
    Advance = 2,  // sweeps sectors for boot sectors, file records and index blocks
};

} // namespace salvex
