#include "snapshot/volume_source.h"

#include "advscan/reconstruction.h"
#include "advscan/sweep_and_classify.h"
#include "snapshot/snapshot_reader.h"

#include <vector>

namespace salvex {

namespace {

ErrorCode scan_error_code(ScanOutcome outcome) {
    switch (outcome) {
    case ScanOutcome::Stopped:
        return ErrorCode::Stopped;
    case ScanOutcome::NoItems:
        return ErrorCode::NoItems;
    case ScanOutcome::NoVolume:
    case ScanOutcome::Completed:
        break;
    }
    return ErrorCode::NotNtfs;
}

} // namespace

std::string no_such_partition_message(uint64_t number, size_t count) {
    return "There is no partition " + std::to_string(number) + "; the drive has " +
           std::to_string(count) + ".";
}

std::string no_such_candidate_message(uint64_t number, size_t count) {
    return "There is no candidate " + std::to_string(number) + "; the sweep found " +
           std::to_string(count) + ".";
}

SnapshotSelection partition_selection(const PartitionInfo& partition, uint16_t index) {
    return {partition.type, partition.start, partition.size, partition.end(), index};
}

SnapshotSelection range_selection(SectorRange range) {
    // A swept range is always looked at for NTFS, the one file system recovered.
    return {FsType::Ntfs, range.start, range.count(), range.end, 0};
}

Result<VolumeScan> scan_partition_volume(const SectorReader& reader,
                                         const PartitionList& partitions, uint64_t number,
                                         ProgressSink& progress, StopFlag& stop,
                                         RecordObserver* observer) {
    if (number == 0 || number > partitions.size())
        return Error{no_such_partition_message(number, partitions.size()), ErrorCode::NotFound};
    const PartitionInfo& partition = partitions.entries[number - 1];
    if (partition.type != FsType::Ntfs)
        return Error{kFatPartitionMessage, ErrorCode::NotNtfs};
    VolumeScan volume;
    const auto outcome = standard_scan(reader, partition.start, partition.end(), volume.scan,
                                       progress, stop, observer);
    if (outcome != ScanOutcome::Completed)
        return Error{scan_outcome_message(outcome), scan_error_code(outcome)};
    progress.show_message(scan_outcome_message(outcome), MessageKind::Information);
    volume.selection = partition_selection(partition, static_cast<uint16_t>(number - 1));
    return volume;
}

Result<VolumeScan> scan_candidate_volume(const SectorReader& reader, SectorRange range,
                                         uint32_t sectorsPerRead, uint64_t number,
                                         ProgressSink& progress, StopFlag& stop) {
    HitLists hits;
    const CandidateList candidates =
        sweep_and_classify(reader, range, sectorsPerRead, hits, progress, stop);
    if (number == 0 || number > candidates.size())
        return Error{no_such_candidate_message(number, candidates.size()), ErrorCode::NotFound};
    VolumeScan volume;
    reconstruct_candidate(reader, hits, candidates, static_cast<uint16_t>(number), volume.scan,
                          progress, stop);
    volume.selection = range_selection(range);
    return volume;
}

Result<VolumeScan> load_snapshot_volume(const std::string& path, const SectorReader& reader,
                                        ProgressSink& progress) {
    auto loaded = load_snapshot(path, reader, progress);
    if (!loaded)
        return loaded.failure();
    return VolumeScan{std::move(loaded->scan), loaded->selection, std::move(loaded->warning)};
}

} // namespace salvex
