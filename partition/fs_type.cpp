#include "partition/fs_type.h"

namespace salvex {

std::string_view fs_type_name(FsType type) {
    switch (type) {
    case FsType::Fat16:
        return "FAT16";
    case FsType::Fat32:
        return "FAT32";
    case FsType::Ntfs:
        return "NTFS";
    case FsType::Unknown:
        break;
    }
    return {};
}

} // namespace salvex
