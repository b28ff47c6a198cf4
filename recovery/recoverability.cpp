#include "recovery/recoverability.h"

#include "recovery/volume_bounds.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>

namespace salvex {

namespace {

constexpr uint64_t kProgressEvery = 256; // files

uint64_t ceil_div(uint64_t a, uint64_t b) {
    return a / b + (a % b != 0);
}

// Clusters of first .. first + count − 1 that someone else holds now.
uint64_t lost_clusters(uint64_t first, uint64_t count, uint64_t lastWritten,
                       const ClusterOwners& owners) {
    if (first >= owners.clusters)
        return count;
    const uint64_t end = first + std::min(count, owners.clusters - first);
    uint64_t lost = count - (end - first); // past the volume's end
    const auto taken = merge_intervals(owners.runs.live.within(first, end),
                                       owners.runs.deleted.newer_within(first, end, lastWritten));
    uint64_t at = first;
    const auto marked = [&](uint64_t to) {
        // Between the runs of known owners: taken when $Bitmap marks it in use and some live
        // record could not be read.
        if (owners.bitmap != nullptr && !owners.runs.liveComplete && at < to)
            lost += owners.bitmap->count_in_use(at, to);
    };
    for (const ClusterInterval& t : taken) {
        marked(t.first);
        lost += t.end - t.first;
        at = t.end;
    }
    marked(end);
    return lost;
}

uint8_t percent_of(uint64_t kept, uint64_t total) {
    if (kept >= total)
        return 100;
    const uint64_t percent = kept <= UINT64_MAX / 100 ? kept * 100 / total : kept / (total / 100);
    return static_cast<uint8_t>(std::min<uint64_t>(99, percent));
}

// The item's own MFT record's time stamps say when it was last written; 0 (older than anything)
// when its record is not among the deleted records of the table.
uint64_t last_written_of(const VolumeRuns& runs, const FileNode& file) {
    const auto found = runs.lastWritten.find(file.recordNumber);
    return found != runs.lastWritten.end() ? found->second : 0;
}

// A file found by its contents keeps the share its structure gave it: no record is there to
// judge it by.
void clear_values(NtfsItems& items) {
    for (FileNode& file : items.files)
        if (!file.contentStart)
            file.recoverable.reset();
}

} // namespace

uint8_t recoverable_percent(const FileData& data, uint64_t size, uint32_t sectorsPerCluster,
                            uint64_t lastWritten, const ClusterOwners& owners) {
    if (data.kind == FileData::Kind::Resident || sectorsPerCluster == 0)
        return 100;
    const uint64_t clusterBytes = uint64_t{sectorsPerCluster} * kSectorSize;
    // The clusters a copy reads: those of the bytes written (past the initialized size the
    // content reads as zeros), to the end of their compression unit when compressed.
    const bool compressed = data.compressed && data.compressionUnitClusters > 0;
    uint64_t needed =
        ceil_div(compressed ? size : std::min(size, data.initializedSize), clusterBytes);
    if (compressed)
        needed = ceil_div(needed, data.compressionUnitClusters) * data.compressionUnitClusters;

    uint64_t total = 0;
    uint64_t lost = 0;
    uint64_t vcn = 0;
    for (const DataRun& run : data.runs) {
        if (vcn >= needed)
            break;
        const uint64_t count = std::min(run.clusters, needed - vcn);
        vcn += count;
        if (run.sparse)
            continue;
        total += count;
        lost += lost_clusters(run.lcn, count, lastWritten, owners);
    }
    return percent_of(total - std::min(lost, total), total);
}

void assess_recoverability(const SectorReader& reader, NtfsScan& scan,
                           std::optional<VolumeRuns> gathered, ProgressSink& progress,
                           const StopFlag& stop) {
    clear_values(scan.items);
    if (scan.mftMap.empty() || scan.volume.sectorsPerCluster == 0)
        return;
    progress.set_status(kAssessingStatus);
    progress.set_progress(0);
    const VolumeBounds bounds = volume_bounds(reader, scan.volume);
    const auto runs =
        gathered ? std::move(gathered) : collect_volume_runs(reader, scan, progress, stop);
    if (!runs) {
        progress.set_status("");
        return;
    }
    std::optional<ClusterBitmap> bitmap;
    if (!runs->liveComplete && bounds.clusters != kUnbounded)
        bitmap = ClusterBitmap::read(reader, scan, bounds.clusters);
    const ClusterOwners owners{*runs, bitmap ? &*bitmap : nullptr, bounds.clusters};
    // A live file loses only the clusters past the device's end, when the device ends inside the
    // volume (an image cut short).
    const VolumeRuns noRuns;
    const bool deviceCut = bounds.deviceClusters < bounds.volumeClusters;
    const ClusterOwners deviceEnd{noRuns, nullptr, bounds.deviceClusters};

    // Every name of a file shares its data: each record's data is judged once.
    std::map<std::pair<Lba, std::string>, std::optional<uint8_t>> judged;
    for (size_t i = 0; i < scan.items.files.size(); ++i) {
        FileNode& file = scan.items.files[i];
        if (stop.load() == 1) {
            clear_values(scan.items);
            break;
        }
        if (i % kProgressEvery == 0)
            progress.set_progress(static_cast<int>(i * 99 / scan.items.files.size()));
        if ((!file.deleted && !deviceCut) || file.contentStart)
            continue;
        const auto [it, first] = judged.try_emplace({file.recordSector, file.stream});
        if (first) {
            const auto data = locate_file_data(reader, scan, file);
            // Data whose runs could not be decoded says nothing of where it lay.
            if (data && !(data->kind == FileData::Kind::NonResident && data->runs.empty() &&
                          data->dataSize > 0))
                it->second = recoverable_percent(
                    *data, std::min(file.size, bounds.bytes), scan.volume.sectorsPerCluster,
                    last_written_of(*runs, file), file.deleted ? owners : deviceEnd);
            // A live file's share is told only when the device's end takes some of it.
            if (!file.deleted && it->second == 100)
                it->second.reset();
        }
        file.recoverable = it->second;
    }
    progress.set_progress(0);
    progress.set_status("");
}

bool recoverable_at_least(const FileNode& file, uint8_t minimum) {
    return !file.deleted || minimum == 0 || (file.recoverable && *file.recoverable >= minimum);
}

void assess_recoverability(const SectorReader& reader, NtfsScan& scan, ProgressSink& progress,
                           const StopFlag& stop) {
    assess_recoverability(reader, scan, std::nullopt, progress, stop);
}

void assess_recoverability(const SectorReader& reader, NtfsScan& scan) {
    SilentProgress progress;
    const StopFlag stop{0};
    assess_recoverability(reader, scan, progress, stop);
}

} // namespace salvex
