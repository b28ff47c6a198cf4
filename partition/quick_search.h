// The quick search for lost partitions: when no partition table lists anything, the boot
// sectors are looked for where partitioning tools put them.
//
// Older tools start a partition at a cylinder boundary or one track (63 sectors) after it; every
// tool since 2007 starts it on a 1 MiB boundary (a multiple of 2048 sectors). The search visits
// both kinds of place in ascending sector order, reads each sector at most once, and lists what
// it finds as FAT16, FAT32 or NTFS with the size the boot sector gives.
#pragma once

#include "disk/drive_table.h"
#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "partition/partition_list.h"

#include <cstdint>

namespace salvex {

// A boot sector as the quick search reads it (512 bytes, little-endian).
namespace lost_boot {
inline constexpr size_t kOemId = 3;             // 4 bytes, "NTFS" on an NTFS volume
inline constexpr size_t kTotalSectors16 = 19;   // 2 bytes, FAT: sectors when below 65536, else 0
inline constexpr size_t kTotalSectors32 = 32;   // 4 bytes, FAT: sectors when field 19 is 0
inline constexpr size_t kNtfsTotalSectors = 40; // 8 bytes, NTFS: sectors of the volume less one
inline constexpr size_t kFat16Digits = 57;      // 2 bytes, "16" of the "FAT16" at 54
inline constexpr size_t kFat32Digits = 85;      // 2 bytes, "32" of the "FAT32" at 82
} // namespace lost_boot

// Which message the search gives when it finds nothing: the Standard Scan sends the user to
// the Advance Scan, the Advance Scan to its own sweep.
enum class QuickSearchMode { Standard, Advance };

// The cylinders the search visits: C cylinders of H heads and 63 sectors per track.
struct SearchGeometry {
    uint64_t cylinders = 0;
    uint32_t heads = 0;
    uint32_t sectorsPerTrack = 63;

    uint64_t sectors_per_cylinder() const { return uint64_t{heads} * sectorsPerTrack; }
};

// A drive of 63 sectors per track is searched with its own cylinders and heads; any other
// geometry is translated to 255 heads of 63 sectors over the same capacity, rounded down to
// whole cylinders. A drive without heads has no cylinders to search.
SearchGeometry quick_search_geometry(const DriveInfo& drive);

// Replaces `list` with the partitions found, in ascending order of their first sectors, at most
// kMaxPartitions of them.
//
// At each cylinder start b, sector b + 63 is the candidate when it carries the 0x55 0xAA
// signature, else sector b when it does; a cylinder yields at most one partition. Each 1 MiB
// boundary below the drive's size is examined as well, also on a drive that reports no
// geometry. A sector that cannot be read counts as zeros. A start is listed once, whichever
// places lead to it. Setting `stop` to 1 ends the search with what was found so far; `stop` is
// cleared when the search starts and when it ends. When nothing is found, the user is told with
// the message for `mode`.
void quick_search_partitions(const SectorReader& reader, const DriveInfo& drive,
                             QuickSearchMode mode, PartitionList& list, ProgressSink& progress,
                             StopFlag& stop);

// The status line while the search runs.
inline constexpr const char* kQuickSearchStatus = "Searching For Partitions";

// What the search window shows while the search runs.
inline constexpr const char* kQuickSearchInstruction =
    "\r\n                Please wait, Salvex is doing a quick search for partition(s), once this "
    "process is completed it will show you all                        the partition(s) found.";

// What the user is told when the search found nothing.
inline constexpr const char* kNoLostPartitionStandardMessage =
    "No partition found, use advance mode to recover the data";
inline constexpr const char* kNoLostPartitionAdvanceMessage =
    "No partition found, select file system type, and press next to search the full disk or you "
    "can define the searching range";

} // namespace salvex
