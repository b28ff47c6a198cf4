// The sector range of an Advance Scan as the user types it: a Start and an End sector. The sweep
// examines sectors Start to End - 1 (End - Start sectors), and the classification takes End as
// the end of the volumes it infers. The wizard's range page and the command line both read the
// range here, with the same rules and the same sentences.
#pragma once

#include "disk/result.h"
#include "disk/sector.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace salvex {

struct SectorRange {
    Lba start = 0;
    Lba end = 0;

    // Sectors the sweep examines.
    uint64_t count() const { return end - start; }
};

// The sentences that refuse a range. The first three are the wizard's own, shown as they stand
// (leading blanks included).
inline constexpr const char* kStartSectorInvalid =
    "      Start sector value is not valid, It should be a positive number";
inline constexpr const char* kEndSectorInvalid =
    "      End sector value is not valid, It should be a positive number";
inline constexpr const char* kEndNotAboveStart =
    "      End sector should be bigger than start sector";

// An unsigned decimal number filling the whole text, blanks (spaces, tabs) around it allowed:
// how every number a user types is read.
std::optional<uint64_t> parse_typed_number(std::string_view text);

// "The end sector 999999 lies past the drive's last sector, 262143."
std::string end_past_drive_message(Lba end, uint64_t driveSectors);

// Reads the Start and End texts: each an unsigned decimal number, blanks around it allowed;
// End above Start; and, when the drive's size is known (`driveSectors` not 0), End not past the
// drive: the sweep's last sector, End - 1, must be on the drive, so End may be the drive's
// sector count (the whole drive) but no more. The range, or the sentence that refuses it.
Result<SectorRange> parse_sector_range(std::string_view startText, std::string_view endText,
                                       uint64_t driveSectors);

} // namespace salvex
