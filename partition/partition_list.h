// The partitions found on the current drive, by the table walk or by the quick search.
#pragma once

#include "disk/sector.h"
#include "partition/fs_type.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace salvex {

struct PartitionInfo {
    Lba start = 0;     // the partition's first sector (its boot sector), from the drive's start
    uint64_t size = 0; // sectors
    FsType type = FsType::Unknown;

    // The partition's last sector.
    Lba end() const { return start + size - 1; }
    bool operator==(const PartitionInfo&) const = default;
};

// At most this many partitions are listed; the rest of a longer chain is passed over.
inline constexpr size_t kMaxPartitions = 25;

struct PartitionList {
    std::vector<PartitionInfo> entries;

    bool empty() const { return entries.empty(); }
    size_t size() const { return entries.size(); }
    bool full() const { return entries.size() >= kMaxPartitions; }
    void clear() { entries.clear(); }
    // Appends unless the list is full; false when it was.
    bool append(const PartitionInfo& partition);
    bool has_start(Lba start) const;
};

// Tree text of the partition numbered `number` (from 1): "Partition 2 - NTFS".
std::string partition_item_text(size_t number, FsType type);

// Size shown on the partition page: sectors / 2048 followed by " MB ( Aprox )".
std::string partition_size_text(const PartitionInfo& partition);

} // namespace salvex
