// Which deleted files can come back whole: for each deleted file (and named stream) with data on
// disk, the share of the clusters holding its bytes that nothing written since has taken.
//
// A cluster of a deleted item counts as lost when
//  - the runs of a live item cover it (a file, a stream, a folder's index, a metadata file);
//  - the runs of another deleted item cover it and that item was written to later (a new file
//    took the cluster and was deleted in turn: the cluster is free again, but holds its bytes);
//  - $Bitmap marks it in use while some record the table's own bitmap marks in use could not be
//    read, so that the live items' runs are not all known;
//  - it lies past the volume's end.
// A cluster $Bitmap marks in use that no live run covers, on a volume whose live records were
// all read, belongs to no live item: a deletion whose bitmap update never reached the disk. It
// counts as the deleted item's.
// On a volume where new files took part of the freed space and some of them were deleted in
// turn, judging by $Bitmap alone, by live runs alone, or by either, calls 7 of 226 files whole
// that come back with another file's bytes: those the later, deleted files overwrote. The runs
// of those later files, ordered by their records' time stamps, tell them apart.
#pragma once

#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "ntfs/file_data.h"
#include "ntfs/standard_scan.h"
#include "recovery/cluster_bitmap.h"
#include "recovery/volume_runs.h"

#include <cstdint>
#include <optional>

namespace salvex {

inline constexpr const char* kAssessingStatus = "Checking which deleted files are whole";

// What the percentage of one deleted item is judged against.
struct ClusterOwners {
    const VolumeRuns& runs;
    const ClusterBitmap* bitmap = nullptr; // read only when the live runs are not all known
    uint64_t clusters = 0;                 // of the volume
};

// The share (0 to 100, rounded down: 100 only when every cluster is free) of the clusters that
// hold the first `size` bytes of `data` which no one else holds now; `lastWritten` is when the
// item was last written to. Resident data and data without clusters on disk give 100.
uint8_t recoverable_percent(const FileData& data, uint64_t size, uint32_t sectorsPerCluster,
                            uint64_t lastWritten, const ClusterOwners& owners);

// Sets `recoverable` of every deleted file of scan.items, and clears it on every other item but
// a live file with clusters past the device's end (an image cut short inside the volume), whose
// share is that of its clusters on the device. Left empty for a file whose $DATA cannot be found,
// and for every file when the volume's $MFT is not mapped (an Advance Scan candidate that knows no
// $MFT) or `stop` becomes 1 meanwhile. Judges by the runs `gathered` while the scan read the table
// (RunCollector::finish); without them (no collector watched the scan, or the scan was stopped)
// reads the whole table once more, so it runs after the scan, on the scan's thread. Reports
// "Checking which deleted files are whole" and progress.
void assess_recoverability(const SectorReader& reader, NtfsScan& scan,
                           std::optional<VolumeRuns> gathered, ProgressSink& progress,
                           const StopFlag& stop);
// The same, reading the table.
void assess_recoverability(const SectorReader& reader, NtfsScan& scan, ProgressSink& progress,
                           const StopFlag& stop);
// The same, silently and without a way to stop.
void assess_recoverability(const SectorReader& reader, NtfsScan& scan);

// Whether `file` is listed while only deleted files recoverable at least `minimum` % are: live
// files always; deleted ones when minimum is 0 or their share is known and reaches it.
bool recoverable_at_least(const FileNode& file, uint8_t minimum);

} // namespace salvex
