// The volume a recovery reads, from any of its three sources: a partition of the drive read
// through its Master File Table (Standard Scan), a candidate volume of a sector range (Advance
// Scan), or a snapshot saved earlier. Each comes with the selection a snapshot of it records.
#pragma once

#include "advscan/sector_range.h"
#include "disk/progress.h"
#include "disk/result.h"
#include "disk/sector_reader.h"
#include "ntfs/standard_scan.h"
#include "partition/partition_list.h"
#include "snapshot/snapshot_format.h"

#include <cstdint>
#include <string>

namespace salvex {

struct VolumeScan {
    NtfsScan scan;
    SnapshotSelection selection;
    std::string warning; // a loaded snapshot's: the drive has changed since it was made
};

// What is said when a FAT partition is chosen for a scan.
inline constexpr const char* kFatPartitionMessage =
    "This is FAT partition. If earlier it was NTFS partition and you want to recover it,\r\n use "
    "Advance Scan OR download the Salvex for FAT.";

// "There is no partition 9; the drive has 4."
std::string no_such_partition_message(uint64_t number, size_t count);
// "There is no candidate 7; the sweep found 3."
std::string no_such_candidate_message(uint64_t number, size_t count);

// What a snapshot records of the choice of partition `index` (from 0), or of a swept range.
SnapshotSelection partition_selection(const PartitionInfo& partition, uint16_t index);
SnapshotSelection range_selection(SectorRange range);

// Partition `number` (from 1) of `partitions`, which must be NTFS, read by the Standard Scan.
// The scan reports through `progress`, and hands each record it reads to `observer` when given;
// a completed scan ends on the hint that the Advance Scan finds more. When it lists nothing the
// error says why: NotNtfs (no volume there, or a FAT partition), NoItems, Stopped, or NotFound
// (no such partition).
Result<VolumeScan> scan_partition_volume(const SectorReader& reader,
                                         const PartitionList& partitions, uint64_t number,
                                         ProgressSink& progress, StopFlag& stop,
                                         RecordObserver* observer = nullptr);

// Candidate `number` (from 1) of a sweep of `range` (512-byte sectors, `sectorsPerRead` at a
// time), its folder tree reconstructed from what the sweep found.
Result<VolumeScan> scan_candidate_volume(const SectorReader& reader, SectorRange range,
                                         uint32_t sectorsPerRead, uint64_t number,
                                         ProgressSink& progress, StopFlag& stop);

// The snapshot at `path`, read against the drive `reader` holds (load_snapshot).
Result<VolumeScan> load_snapshot_volume(const std::string& path, const SectorReader& reader,
                                        ProgressSink& progress);

} // namespace salvex
