#include "partition/encrypted_volume.h"

namespace salvex {

bool is_bitlocker_boot_sector(ByteView sector) {
    return has_boot_signature(sector) && has_text_at(sector, 3, "-FVE-FS-");
}

std::string encrypted_volume_message(Lba sector) {
    return "The volume at sector " + std::to_string(sector) +
           " is encrypted with BitLocker: its files cannot be read until it is unlocked. Unlock "
           "it first (for example with cryptsetup bitlkOpen or dislocker, given its password or "
           "recovery key), then open the unlocked device instead.";
}

} // namespace salvex
