// Where a file's contents lie: the value of a resident unnamed $DATA, or the runs of a
// non-resident one gathered from every record that holds a part of it.
#pragma once

#include "disk/sector_reader.h"
#include "ntfs/mft_map.h"
#include "ntfs/run_list.h"
#include "partition/volume_info.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace salvex {

struct FileData {
    enum class Kind { Resident, NonResident };
    Kind kind = Kind::Resident;
    std::vector<uint8_t> residentValue;
    RunList runs;                 // every part of the attribute, in the order of its clusters
    uint64_t dataSize = 0;        // bytes of content
    uint64_t initializedSize = 0; // bytes written by the file system; zeros beyond
    bool compressed = false;
    bool encrypted = false;
    uint32_t compressionUnitClusters = 0; // clusters per compression unit (16 normally)
};

// Reads the file record at `recordSector` and locates the file's unnamed $DATA. When the
// attribute continues in extension records (an attribute list names them), `map` locates them
// and their runs are joined in cluster order; a part that cannot be found reads as zeros so that
// the parts after it stay in place. nullopt when the record holds no unnamed $DATA.
// With `stream` named, the named $DATA of that name is located instead (its start must lie in
// the record).
std::optional<FileData> locate_file_data(const SectorReader& reader, const VolumeInfo& volume,
                                         const MftMap* map, Lba recordSector,
                                         std::string_view stream = {});

} // namespace salvex
