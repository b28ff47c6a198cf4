// Which clusters of a volume the items of its Master File Table hold: the runs of every
// non-resident attribute of every record, read in one pass over the table. Records in use give
// the clusters live items hold now; deleted records give the clusters their items held, each
// stamped with when the item was last written to.
#pragma once

#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "ntfs/standard_scan.h"
#include "recovery/cluster_intervals.h"

#include <cstdint>
#include <optional>
#include <unordered_map>

namespace salvex {

struct VolumeRuns {
    // Clusters the runs of in-use records cover: data and named streams, folder indexes,
    // attribute lists, the metadata files'.
    ClusterIntervals live;
    // Clusters the runs of deleted records cover, by when each item was last written to.
    ClusterClaims deleted;
    // When each deleted base record's item was last written to: the latest of its creation,
    // modification and record-change times.
    std::unordered_map<uint32_t, uint64_t> lastWritten;
    // Whether every record the table's own bitmap marks in use was read. When not, some live
    // item's clusters are unknown.
    bool liveComplete = true;
};

// Walks every record slot of scan.mftMap; clusters are cut to the volume's first `clusters`.
// nullopt when the map is empty or `stop` became 1. Reports progress 0 to 99.
std::optional<VolumeRuns> collect_volume_runs(const SectorReader& reader, const NtfsScan& scan,
                                              uint64_t clusters, ProgressSink& progress,
                                              const StopFlag& stop);

} // namespace salvex
