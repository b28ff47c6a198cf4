// File-system type codes as the partition list, the volume parameters and snapshots store them.
#pragma once

#include <cstdint>
#include <string_view>

namespace salvex {

enum class FsType : uint16_t {
    Unknown = 0,
    Fat16 = 100,
    Fat32 = 200,
    Ntfs = 300,
};

// "FAT16", "FAT32", "NTFS"; empty for any other code.
std::string_view fs_type_name(FsType type);

} // namespace salvex
