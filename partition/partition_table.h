// The partition table walk: the four entries of the master boot record, the chain of extended
// boot records behind an extended partition, and the GUID partition table behind a protective
// entry. Each partition is recognised as FAT16, FAT32 or NTFS by its boot sector or, failing
// that, by its type byte (in a GPT: a basic data partition whose backup boot sector is NTFS);
// partitions of other kinds are not listed.
#pragma once

#include "disk/bytes.h"
#include "disk/sector_reader.h"
#include "partition/partition_list.h"

#include <cstdint>
#include <optional>

namespace salvex {

// A partition table sector: the MBR or an extended boot record (little-endian).
namespace partition_table {
inline constexpr size_t kFirstEntry = 446; // entry e at 446 + 16 × e
inline constexpr size_t kEntrySize = 16;
inline constexpr size_t kType = 4;         // 1 byte, the partition type
inline constexpr size_t kFirstSector = 8;  // 4 bytes: absolute in the MBR; in the chain
                                           // relative to the record (data) or to the
                                           // extended partition's start (link)
inline constexpr size_t kSectorCount = 12; // 4 bytes
} // namespace partition_table

// Where a table entry was found: the MBR's four entries or an extended boot record's two.
enum class TableLevel { Mbr, Chain };

// The file system of a listed candidate, judged first by the text in its boot sector ("FAT32"
// at 82, "FAT16" at 54, "NTFS" at 3), then by the type byte (4, 6, 14 FAT16; 11, 12 FAT32;
// 7 NTFS; in the chain also 1 FAT16). nullopt: not a partition this program lists.
std::optional<FsType> classify_partition(ByteView bootSector, uint8_t typeByte, TableLevel level);

// Lists the partitions of the table in sector `tableSector` into `list`, which is cleared
// first. The table's numbers count the drive's logical sectors; the list
// holds 512-byte sectors. Data partitions of the MBR have absolute first sectors whatever sector
// the table was read from. The walk ends at kMaxPartitions entries, and when a link of the extended
// chain leads back to a record already read.
// `sectorSize` is the drive's logical sector size; 0 finds it as drive_sector_size does.
void walk_partition_table(const SectorReader& reader, Lba tableSector, PartitionList& list,
                          uint32_t sectorSize = 0);

// The walk as the wizard runs it on leaving the drive page: from sector 0, again from 0, then
// from 61 and from 62, stopping at the first walk that lists something. False when all four
// list nothing (the quick search for lost partitions is then the way on).
// The drive's sector size is found once, before the walks, unless `sectorSize` gives it.
bool list_partitions(const SectorReader& reader, PartitionList& list, uint32_t sectorSize = 0);

// What the wizard says when no walk found a partition.
inline constexpr const char* kNoPartitionsFoundMessage =
    " No partitions found, going to make a quick search for missing partitions";

} // namespace salvex
