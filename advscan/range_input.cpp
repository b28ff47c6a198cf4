#include "advscan/range_input.h"

#include "disk/sector.h"

#include <algorithm>
#include <cstdint>

namespace salvex {

uint64_t sector_unit(uint32_t sectorSize) {
    return std::max<uint64_t>(sectorSize, kSectorSize) / kSectorSize;
}

Result<SectorRange> parse_drive_range(std::string_view startText, std::string_view endText,
                                      uint64_t driveSectors, uint32_t sectorSize) {
    const uint64_t unit = sector_unit(sectorSize);
    auto range = parse_sector_range(startText, endText, driveSectors / unit);
    if (!range)
        return Error{range.error()};
    // Only a drive of unknown size lets a number through that the unit would overflow.
    if (range->end > UINT64_MAX / unit)
        return Error{kEndSectorInvalid};
    return SectorRange{range->start * unit, range->end * unit};
}

} // namespace salvex
