#include "partition/quick_search.h"

#include "disk/bytes.h"
#include "partition/volume_parameters.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <optional>

namespace salvex {

namespace {

constexpr uint32_t kSearchSectorsPerTrack = 63;
constexpr uint32_t kTranslatedHeads = 255;
constexpr uint64_t kTranslatedCylinderSectors = uint64_t{kTranslatedHeads} * kSearchSectorsPerTrack;
// Partitioning tools since 2007 start partitions on 1 MiB boundaries.
constexpr Lba kAlignedStep = 2048;
constexpr uint64_t kMaxSector = std::numeric_limits<uint64_t>::max();

// A FAT volume's size: the 16-bit count when the volume is small enough for it, else the
// 32-bit one (which is 0 on a small FAT16 volume).
uint64_t fat_total_sectors(ByteView sector) {
    const uint32_t large = le32(sector, lost_boot::kTotalSectors32).value_or(0);
    if (large != 0)
        return large;
    return le16(sector, lost_boot::kTotalSectors16).value_or(0);
}

// The partition whose boot sector is `sector`, read from sector `at`; nullopt when it names none
// of the file systems this program lists.
std::optional<PartitionInfo> recognise_boot_sector(ByteView sector, Lba at) {
    if (has_text_at(sector, lost_boot::kFat32Digits, "32"))
        return PartitionInfo{at, fat_total_sectors(sector), FsType::Fat32};
    if (has_text_at(sector, lost_boot::kFat16Digits, "16"))
        return PartitionInfo{at, fat_total_sectors(sector), FsType::Fat16};
    if (has_text_at(sector, lost_boot::kOemId, "NTFS")) {
        // The count is of the volume's own sectors, which may be larger than 512 bytes.
        const uint64_t unit = ntfs_bytes_per_sector(sector).value_or(kSectorSize) / kSectorSize;
        const uint64_t total = le64(sector, lost_boot::kNtfsTotalSectors).value_or(0);
        return PartitionInfo{at, total > UINT64_MAX / unit ? 0 : total * unit, FsType::Ntfs};
    }
    return std::nullopt;
}

// What one examined sector holds.
struct Examined {
    bool signature = false;
    std::optional<PartitionInfo> partition; // only for a sector with the signature
};

// Reads the sectors the search examines, each one once: places are visited in ascending order,
// and what a sector held is kept until the search has passed it (a cylinder's place one track
// on, or a 1 MiB boundary, may be reached again as another kind of place).
class SectorExaminer {
public:
    explicit SectorExaminer(const SectorReader& reader) : reader_(reader) {}

    const Examined& examine(Lba sector) {
        auto [it, fresh] = seen_.try_emplace(sector);
        if (fresh) {
            // A sector that cannot be read counts as zeros, never as what the buffer held.
            std::array<uint8_t, kSectorSize> bytes{};
            if (!reader_.read_sectors(sector, 1, bytes))
                bytes.fill(0);
            it->second.signature = has_boot_signature(bytes);
            if (it->second.signature)
                it->second.partition = recognise_boot_sector(bytes, sector);
        }
        return it->second;
    }

    void forget_before(Lba sector) { seen_.erase(seen_.begin(), seen_.lower_bound(sector)); }

private:
    const SectorReader& reader_;
    std::map<Lba, Examined> seen_;
};

// The partition of the cylinder starting at `first`: its boot sector one track on when that
// sector is signed (recognised or not), else its first sector.
std::optional<PartitionInfo> examine_cylinder(SectorExaminer& examiner, Lba first) {
    const Examined& afterTrack = examiner.examine(first + kSearchSectorsPerTrack);
    if (afterTrack.signature)
        return afterTrack.partition;
    return examiner.examine(first).partition;
}

int percent_of(Lba place, uint64_t end) {
    if (end == 0)
        return 0;
    const uint64_t percent = place <= kMaxSector / 100 ? place * 100 / end : place / (end / 100);
    return static_cast<int>(std::min<uint64_t>(percent, 99));
}

} // namespace

SearchGeometry quick_search_geometry(const DriveInfo& drive) {
    SearchGeometry geometry;
    geometry.sectorsPerTrack = kSearchSectorsPerTrack;
    if (drive.sectorsPerTrack == kSearchSectorsPerTrack) {
        geometry.cylinders = drive.cylinders;
        geometry.heads = drive.heads;
    } else {
        const uint64_t perCylinder = uint64_t{drive.sectorsPerTrack} * drive.heads;
        const uint64_t capacity = drive.cylinders != 0 && perCylinder > kMaxSector / drive.cylinders
                                      ? kMaxSector
                                      : perCylinder * drive.cylinders;
        geometry.cylinders = capacity / kTranslatedCylinderSectors;
        geometry.heads = kTranslatedHeads;
    }
    const uint64_t span = geometry.sectors_per_cylinder();
    if (span == 0)
        geometry.cylinders = 0; // every cylinder would start at sector 0
    else
        geometry.cylinders = std::min(geometry.cylinders, (kMaxSector - span) / span);
    return geometry;
}

void quick_search_partitions(const SectorReader& reader, const DriveInfo& drive,
                             QuickSearchMode mode, PartitionList& list, ProgressSink& progress,
                             StopFlag& stop) {
    stop.store(0);
    progress.set_status(kQuickSearchStatus);
    list.clear();

    const SearchGeometry geometry = quick_search_geometry(drive);
    const uint64_t span = geometry.sectors_per_cylinder();
    const Lba driveEnd = drive.totalSectors != 0 ? drive.totalSectors : reader.total_sectors();
    const Lba searchEnd = std::max(geometry.cylinders * span, driveEnd);

    SectorExaminer examiner(reader);
    uint64_t cylinder = 0;
    Lba aligned = 0;
    int shown = -1;
    while (!list.full() && stop.load() != 1) {
        const bool cylinderLeft = cylinder < geometry.cylinders;
        const bool alignedLeft = aligned < driveEnd;
        if (!cylinderLeft && !alignedLeft)
            break;
        // The next place in sector order; a cylinder goes first where both begin at one sector.
        const bool atCylinder = cylinderLeft && (!alignedLeft || cylinder * span <= aligned);
        const Lba place = atCylinder ? cylinder * span : aligned;

        const int percent = percent_of(place, searchEnd);
        if (percent != shown) {
            progress.set_progress(percent);
            shown = percent;
        }

        examiner.forget_before(place);
        std::optional<PartitionInfo> found;
        if (atCylinder) {
            found = examine_cylinder(examiner, place);
            ++cylinder;
        } else {
            found = examiner.examine(place).partition;
            aligned += kAlignedStep;
        }
        if (found && !list.has_start(found->start))
            list.append(*found);
    }
    // A cylinder's partition lies one track after its start, so a 1 MiB boundary inside that
    // track may have been listed after it.
    std::stable_sort(
        list.entries.begin(), list.entries.end(),
        [](const PartitionInfo& a, const PartitionInfo& b) { return a.start < b.start; });

    progress.set_progress(0);
    progress.set_status("");
    if (list.empty()) {
        progress.show_message(mode == QuickSearchMode::Standard ? kNoLostPartitionStandardMessage
                                                                : kNoLostPartitionAdvanceMessage,
                              MessageKind::Error);
    }
    stop.store(0);
}

} // namespace salvex
