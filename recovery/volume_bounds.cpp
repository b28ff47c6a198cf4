#include "recovery/volume_bounds.h"

#include "partition/volume_parameters.h"

#include <algorithm>
#include <array>

namespace salvex {

namespace {

// Sectors of the volume from its NTFS boot sector; nullopt when fsStart holds none.
std::optional<uint64_t> boot_sector_total(const SectorReader& reader, const VolumeInfo& volume) {
    std::array<uint8_t, kSectorSize> boot{};
    if (!reader.read_sectors(volume.fsStart, 1, boot) || !has_boot_signature(boot) ||
        !has_text_at(boot, ntfs_boot::kOemId, "NTFS"))
        return std::nullopt;
    // The count is of the volume's own sectors (512 to 4,096 bytes).
    const uint64_t unit = ntfs_bytes_per_sector(boot).value_or(kSectorSize) / kSectorSize;
    const uint64_t raw = le64(boot, ntfs_boot::kTotalSectors).value_or(0);
    const uint64_t total = raw > UINT64_MAX / unit ? 0 : raw * unit;
    return total > 0 ? std::optional<uint64_t>(total) : std::nullopt;
}

uint64_t ceil_div(uint64_t a, uint64_t b) {
    return a / b + (a % b != 0);
}

} // namespace

VolumeBounds volume_bounds(const SectorReader& reader, const VolumeInfo& volume) {
    std::optional<uint64_t> sectors;
    if (volume.mftStart != 0 && volume.fsEnd > volume.fsStart)
        sectors = volume.fsEnd - volume.fsStart;
    else
        sectors = boot_sector_total(reader, volume);

    const uint64_t device = reader.total_sectors();
    std::optional<uint64_t> onDevice;
    if (device > 0)
        onDevice = device > volume.fsStart ? device - volume.fsStart : 0;
    if (!sectors)
        sectors = onDevice;

    VolumeBounds bounds;
    if (sectors)
        bounds.bytes = *sectors > kUnbounded / kSectorSize ? kUnbounded : *sectors * kSectorSize;
    if (volume.sectorsPerCluster > 0) {
        const auto clusters_of = [&](const std::optional<uint64_t>& count) {
            return count ? *count / volume.sectorsPerCluster : kUnbounded;
        };
        bounds.volumeClusters = clusters_of(sectors);
        bounds.deviceClusters = clusters_of(onDevice);
        bounds.clusters = std::min(bounds.volumeClusters, bounds.deviceClusters);
    }
    return bounds;
}

std::string FileDamage::reason() const {
    std::string text;
    const auto add = [&](const char* part) {
        text += (text.empty() ? "" : "; ") + std::string(part);
    };
    if (sizeBeyondVolume)
        add("its size field exceeds what its volume can hold");
    if (runsBeyondVolume)
        add("its runs reach past the volume");
    return text;
}

FileDamage bound_to_volume(FileData& file, uint64_t& size, const VolumeBounds& bounds,
                           uint32_t sectorsPerCluster) {
    FileDamage damage;
    // The item's size, or the size field of the record it came from, cannot be true.
    damage.sizeBeyondVolume =
        size > bounds.bytes || (file.sizeFromRecord && file.dataSize > bounds.bytes);
    size = std::min(size, bounds.bytes);
    if (file.kind != FileData::Kind::NonResident || sectorsPerCluster == 0)
        return damage;

    // The clusters the copy reads: those of the first `size` bytes, to the end of their
    // compression unit when the data is compressed.
    uint64_t needed = ceil_div(size, uint64_t{sectorsPerCluster} * kSectorSize);
    if (file.compressed && file.compressionUnitClusters > 0)
        needed = ceil_div(needed, file.compressionUnitClusters) * file.compressionUnitClusters;

    RunList bounded;
    uint64_t vcn = 0;
    for (const DataRun& run : file.runs) {
        const uint64_t read =
            run.sparse || vcn >= needed ? 0 : std::min(run.clusters, needed - vcn);
        const uint64_t inside = run.lcn >= bounds.volumeClusters
                                    ? 0
                                    : std::min(run.clusters, bounds.volumeClusters - run.lcn);
        if (inside >= read) {
            bounded.push_back(run);
        } else {
            // The run leaves the volume: what lies past its last cluster becomes a hole.
            if (inside > 0)
                bounded.push_back(DataRun{run.lcn, inside, false});
            bounded.push_back(DataRun{0, run.clusters - inside, true});
            damage.runsBeyondVolume = true;
        }
        vcn = run.clusters > kUnbounded - vcn ? kUnbounded : vcn + run.clusters;
    }
    file.runs = std::move(bounded);
    // Runs that span more clusters than the volume holds, holes included, cannot all be true:
    // a huge sparse run put into a run list pushes the clusters after it out of place.
    const uint64_t volumeClusters = bounds.bytes / (uint64_t{sectorsPerCluster} * kSectorSize);
    if (vcn > volumeClusters)
        damage.runsBeyondVolume = true;
    return damage;
}

} // namespace salvex
