// Volumes encrypted with BitLocker. Their boot sector keeps NTFS's layout but names "-FVE-FS-"
// where NTFS names "NTFS    ": nothing of the file system can be read until the volume is
// unlocked, and a person must be told so rather than that no NTFS volume is there.
#pragma once

#include "disk/bytes.h"
#include "disk/sector.h"

#include <string>

namespace salvex {

// Whether `sector` is the boot sector of a BitLocker volume.
bool is_bitlocker_boot_sector(ByteView sector);

// "The volume at sector 2048 is encrypted with BitLocker...": what a scan or a sweep says of it;
// `sector` in the drive's own sectors.
std::string encrypted_volume_message(Lba sector);

} // namespace salvex
