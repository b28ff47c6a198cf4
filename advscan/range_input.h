// The sweep's range as a user gives it: in the drive's own sectors, which on a drive of 4,096-byte
// sectors are eight of the 512-byte sectors the engine counts. The wizard's range page and the
// command line both read it here.
#pragma once

#include "advscan/sector_range.h"
#include "disk/result.h"

#include <cstdint>
#include <string_view>

namespace salvex {

// How many 512-byte sectors make one sector of `sectorSize` bytes (1 for anything smaller).
uint64_t sector_unit(uint32_t sectorSize);

// Reads Start and End as parse_sector_range does (blanks around the numbers allowed), in
// sectors of `sectorSize` bytes, against a drive of `driveSectors` 512-byte sectors (0: size
// unknown, not judged). The range returned counts 512-byte sectors; the refusals are the
// system's sentences and count the drive's own sectors.
Result<SectorRange> parse_drive_range(std::string_view startText, std::string_view endText,
                                      uint64_t driveSectors, uint32_t sectorSize);

} // namespace salvex
