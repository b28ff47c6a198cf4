#include "partition/partition_list.h"

#include <algorithm>

namespace salvex {

bool PartitionList::append(const PartitionInfo& partition) {
    if (full())
        return false;
    entries.push_back(partition);
    return true;
}

bool PartitionList::has_start(Lba start) const {
    return std::any_of(entries.begin(), entries.end(),
                       [start](const PartitionInfo& p) { return p.start == start; });
}

std::string partition_item_text(size_t number, FsType type) {
    return "Partition " + std::to_string(number) + " - " + std::string(fs_type_name(type));
}

std::string partition_size_text(const PartitionInfo& partition) {
    return std::to_string(partition.size / 2048) + " MB ( Aprox )";
}

} // namespace salvex
