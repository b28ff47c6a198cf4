// Which clusters of a volume the items of its Master File Table hold: the runs of every
// non-resident attribute of every record, gathered in one pass over the table. Records in use give
// the clusters live items hold now; deleted records give the clusters their items held, each
// stamped with when the item was last written to.
#pragma once

#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "ntfs/record_observer.h"
#include "ntfs/standard_scan.h"
#include "recovery/cluster_intervals.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

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

// Gathers the runs of the records of one table as they are handed to it: by the Standard Scan
// (as its observer) while it reads them, or by collect_volume_runs.
class RunCollector final : public RecordObserver {
public:
    // Starts afresh for the table `map` of `volume`: its record count, and how many clusters the
    // volume holds (runs are cut to them).
    void map_ready(const SectorReader& reader, const VolumeInfo& volume,
                   const MftMap& map) override;
    void take(ByteView record, uint64_t number, SlotRecord judged) override;
    void table_read() override { tableRead_ = true; }

    // The runs of every record handed over, once the whole table was; nullopt before that (no
    // table, or its loop was stopped) and after the first call. Reads the table's own bitmap from
    // the volume `scan` holds.
    std::optional<VolumeRuns> finish(const SectorReader& reader, const NtfsScan& scan);

private:
    struct Part {
        uint64_t first = 0;
        uint64_t count = 0;
        uint64_t owner = 0; // the base record
        bool inUse = false; // of an in-use extension record
    };

    uint64_t clusters_ = 0;
    std::vector<bool> read_;  // a whole, sane record was read from the slot
    std::vector<bool> inUse_; // and it is in use
    std::vector<Part> parts_; // runs of deleted and extension records, placed by finish()
    VolumeRuns runs_;
    bool tableRead_ = false;
};

// Reads every record slot of scan.mftMap for its runs: for a scan that gathered none. nullopt
// when the map is empty or `stop` became 1. Reports progress 0 to 99.
std::optional<VolumeRuns> collect_volume_runs(const SectorReader& reader, const NtfsScan& scan,
                                              ProgressSink& progress, const StopFlag& stop);

} // namespace salvex
