// Opening the drive a command names and choosing one of its partitions.
#pragma once

#include "disk/drive_table.h"
#include "disk/sector_reader.h"
#include "partition/partition_list.h"

#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace salvex::cli {

struct PartitionedDrive {
    std::unique_ptr<SectorReader> reader;
    PartitionList partitions;  // in 512-byte sectors, as the engine counts
    uint32_t sectorSize = 512; // the drive's logical sector size: the unit the user sees
};

// The drive's logical sector size: what the kernel or the image format reports, else what the
// disk's content shows (512 when nothing does).
uint32_t drive_sector_size_of(const DriveInfo& drive);

// Opens DRIVE (an image or a block device) read-only and walks its partition table. nullopt,
// after a sentence on `err`, when it cannot be opened. The list may be empty.
std::optional<PartitionedDrive> open_drive(const std::string& path, const char* command,
                                           std::ostream& err);

// As open_drive; when the partition table lists nothing, the quick search for lost partitions
// fills the list. A drive on which neither found a partition is a failure.
std::optional<PartitionedDrive> open_partitioned_drive(const std::string& path, const char* command,
                                                       std::ostream& err);

// Searches the drive for lost partitions, replacing its list; false (after the message) when
// none was found.
bool search_lost_partitions(PartitionedDrive& drive, const char* command, std::ostream& err);

// The partition table as `partitions` prints it, start and size in the drive's sectors.
void print_partitions(const PartitionedDrive& drive, std::ostream& out);

} // namespace salvex::cli
