// The drive's logical sector size: the unit its partition tables count in.
//
// A block device reports it; an image file does not, so it is read from the image itself: where
// the GPT header lies (logical sector 1: byte 512 or 4,096), whether an MBR's entries lead to
// NTFS boot sectors only when counted in larger sectors, or a bare volume's bytes per sector.
// The program reads and numbers 512-byte sectors throughout; only the partition tables and the
// sector numbers shown to the user are in the drive's own sectors.
#pragma once

#include "disk/sector_reader.h"

#include <cstdint>

namespace salvex {

// The sizes a drive's logical sector may have.
inline constexpr uint32_t kMaxLogicalSectorSize = 4096;

// Whether `bytes` is a logical sector size: 512 to 4,096, a power of two.
bool is_logical_sector_size(uint32_t bytes);

// The logical sector size of the current drive: what the device reports when it reports a size
// of 512 to 4,096 bytes (a power of two), else sector_size_from_content.
uint32_t drive_sector_size(const SectorReader& reader);

// The logical sector size the drive's first sectors show: 512 unless they hold a GPT header at
// byte 1,024, 2,048 or 4,096 (and none at 512), an MBR whose entries lead to NTFS boot sectors
// of a larger sector size only when counted in that size, or an NTFS boot sector of a larger
// sector size at sector 0.
uint32_t sector_size_from_content(const SectorReader& reader);

} // namespace salvex
