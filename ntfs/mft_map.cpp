#include "ntfs/mft_map.h"

#include "ntfs/attribute_list.h"
#include "ntfs/mft_record.h"
#include "ntfs/run_list.h"

#include <algorithm>
#include <map>
#include <vector>

namespace salvex {

namespace {

using Record = std::vector<uint8_t>;

constexpr uint32_t kMftRecord = 0;

// Record 0 (or its copy) as read: signature, sane header and whole sectors, else nullopt.
std::optional<Record> read_record_zero(const SectorReader& reader, Lba at, uint32_t sectors) {
    Record record(size_t{sectors} * kSectorSize, 0);
    if (at == 0 || reader.read_sectors_or_zeros(at, sectors, record) == sectors)
        return std::nullopt;
    if (!is_sane_file_record(record) || !apply_fixup(record))
        return std::nullopt;
    return record;
}

// The sectors a map may use: those of the volume that the device holds.
struct Bounds {
    Lba begin = 0;
    Lba end = 0; // exclusive
    uint64_t sectors() const { return end - begin; }
};

Bounds volume_bounds(const SectorReader& reader, const VolumeInfo& volume, Lba lastSector) {
    Lba end = reader.total_sectors();
    const Lba last = lastSector != 0 ? lastSector : volume.fsEnd;
    if (last > volume.fsStart)
        end = std::min(end, last + 1);
    return {volume.fsStart, std::max(end, volume.fsStart)};
}

// One part of $MFT's $DATA: the runs that one record holds, from cluster `lowestVcn` on. A part
// whose record could not be read has no runs; the part after it says where the gap ends.
struct Part {
    uint64_t lowestVcn = 0;
    std::optional<RunList> runs;
};

RunList runs_of(const AttributeView& data) {
    return decode_run_list(data.bytes, le16(data.bytes, attribute::kRunListOffset).value_or(0));
}

// Lays the parts out in cluster order as extents in sectors. Clusters whose place is not known
// (a lost part, a sparse run, a run outside the volume, sectors already mapped) become gaps, so
// every record keeps the number its place in the run list gives it. The map never grows past
// the volume's size, and a gap at its end is dropped: it holds no record to read.
class Layout {
public:
    Layout(const Bounds& bounds, uint64_t spc, uint64_t recordSectors)
        : bounds_(bounds), spc_(spc) {
        map_.set_record_sectors(recordSectors);
    }

    void place(const std::vector<Part>& parts) {
        uint64_t vcn = 0;
        for (const Part& part : parts) {
            if (part.lowestVcn < vcn || full())
                continue; // overlaps what is placed: a repeated or damaged part
            gap(part.lowestVcn - vcn);
            vcn = part.lowestVcn;
            if (!part.runs)
                continue;
            for (const DataRun& run : *part.runs) {
                extent(run);
                vcn += run.clusters;
            }
        }
        while (!map_.empty() && map_.extents().back().start == 0)
            map_.drop_last();
    }

    MftMap take() { return std::move(map_); }

private:
    bool full() const { return map_.total_sectors() >= bounds_.sectors(); }
    uint64_t room() const { return bounds_.sectors() - std::min(bounds_.sectors(), total()); }
    uint64_t total() const { return map_.total_sectors(); }

    void gap(uint64_t clusters) {
        const uint64_t sectors = clusters > room() / spc_ ? room() : clusters * spc_;
        if (sectors > 0)
            map_.append({0, sectors});
    }

    void extent(const DataRun& run) {
        if (run.sparse || run.lcn > (bounds_.end - bounds_.begin) / spc_) {
            gap(run.clusters);
            return;
        }
        const Lba start = bounds_.begin + run.lcn * spc_;
        const uint64_t wanted = run.clusters > room() / spc_ ? room() : run.clusters * spc_;
        const uint64_t inside = std::min(wanted, bounds_.end - std::min(bounds_.end, start));
        const uint64_t fresh = unmapped_prefix(start, inside);
        if (fresh > 0) {
            map_.append({start, fresh});
            mapped_.emplace(start, start + fresh);
        }
        if (wanted > fresh)
            map_.append({0, wanted - fresh}); // past the volume, or sectors already mapped
    }

    // How many sectors from `start` on (at most `count`) no earlier extent maps.
    uint64_t unmapped_prefix(Lba start, uint64_t count) const {
        auto it = mapped_.upper_bound(start);
        if (it != mapped_.begin() && std::prev(it)->second > start)
            return 0;
        return it == mapped_.end() ? count : std::min(count, it->first - start);
    }

    Bounds bounds_;
    uint64_t spc_;
    MftMap map_;
    std::map<Lba, Lba> mapped_; // start → end of the sectors mapped so far
};

// The parts of $DATA that a fragmented $MFT keeps in extension records, named by record 0's
// attribute list; `base` (record 0's own part) locates those records, which always lie in it.
std::vector<Part> listed_parts(const SectorReader& reader, const VolumeInfo& volume,
                               ByteView record, const MftMap& base) {
    std::vector<Part> parts;
    const auto list = read_attribute_list(record, reader, volume);
    if (!list)
        return parts;
    const MftReference self{kMftRecord, record_sequence(record)};
    for (const AttributeListEntry& entry : parse_attribute_list(*list)) {
        if (entry.type != kData || entry.nameLength != 0)
            continue;
        Part part{entry.lowestVcn, std::nullopt};
        if (entry.record == kMftRecord) {
            if (const auto own = find_listed_part(record, entry))
                part.runs = runs_of(*own);
        } else {
            Record holder(base.record_bytes(), 0);
            if (read_mft_record(reader, base, entry.record, holder) && has_file_signature(holder) &&
                apply_fixup(holder) &&
                belongs_to(holder, {entry.record, entry.recordSequence}, self)) {
                if (const auto piece = find_listed_part(holder, entry))
                    part.runs = runs_of(*piece);
            }
        }
        parts.push_back(std::move(part));
    }
    std::stable_sort(parts.begin(), parts.end(),
                     [](const Part& a, const Part& b) { return a.lowestVcn < b.lowestVcn; });
    return parts;
}

// The map that the record 0 at `at` gives; empty when it gives none.
MftMap map_from(const SectorReader& reader, const VolumeInfo& volume, const Bounds& bounds,
                Lba at) {
    const uint32_t recordSectors = record_sectors_of(volume);
    const auto record = read_record_zero(reader, at, recordSectors);
    if (!record)
        return {};
    const auto data = find_unnamed_attribute(*record, kData);
    if (!data || !data->non_resident() || le64(data->bytes, attribute::kLowestVcn) != 0)
        return {};
    const std::vector<Part> own{{0, runs_of(*data)}};
    Layout first(bounds, volume.sectorsPerCluster, recordSectors);
    first.place(own);
    const MftMap base = first.take();

    std::vector<Part> parts = listed_parts(reader, volume, *record, base);
    if (parts.empty())
        return base;
    if (parts.front().lowestVcn != 0)
        parts.insert(parts.begin(), own.front());
    Layout whole(bounds, volume.sectorsPerCluster, recordSectors);
    whole.place(parts);
    return whole.take();
}

uint64_t mapped_sectors(const MftMap& map) {
    uint64_t sectors = 0;
    for (const MftExtent& extent : map.extents())
        sectors += extent.start == 0 ? 0 : extent.sectors;
    return sectors;
}

} // namespace

void MftMap::clear() {
    extents_.clear();
    ends_.clear();
}

void MftMap::append(const MftExtent& extent) {
    extents_.push_back(extent);
    ends_.push_back(total_sectors() + extent.sectors);
}

void MftMap::drop_last() {
    extents_.pop_back();
    ends_.pop_back();
}

Lba MftMap::sector_at(uint64_t offset) const {
    const auto it = std::upper_bound(ends_.begin(), ends_.end(), offset);
    if (it == ends_.end())
        return 0;
    const size_t index = static_cast<size_t>(it - ends_.begin());
    const uint64_t before = index == 0 ? 0 : ends_[index - 1];
    const MftExtent& extent = extents_[index];
    return extent.start == 0 ? 0 : extent.start + (offset - before);
}

Lba MftMap::record_to_sector(uint64_t record) const {
    if (record > UINT64_MAX / recordSectors_)
        return 0;
    return sector_at(recordSectors_ * record);
}

std::optional<uint64_t> MftMap::record_at_sector(Lba sector) const {
    uint64_t before = 0;
    for (const MftExtent& extent : extents_) {
        if (extent.start != 0 && sector >= extent.start && sector - extent.start < extent.sectors) {
            const uint64_t offset = before + (sector - extent.start);
            if (offset % recordSectors_ != 0)
                return std::nullopt;
            return offset / recordSectors_;
        }
        before += extent.sectors;
    }
    return std::nullopt;
}

bool read_mirror_copy(const SectorReader& reader, const VolumeInfo& volume, uint64_t n,
                      std::span<uint8_t> record) {
    const auto sectors = static_cast<uint32_t>(record.size() / kSectorSize);
    if (volume.mftMirrorStart == 0 || n >= kMirroredRecords || sectors == 0)
        return false;
    std::fill(record.begin(), record.end(), uint8_t{0});
    const Lba at = volume.mftMirrorStart + uint64_t{sectors} * n;
    return reader.read_sectors_or_zeros(at, sectors, record.first(sectors * kSectorSize)) == 0 &&
           is_sane_file_record(record);
}

bool read_mft_record(const SectorReader& reader, const MftMap& map, uint64_t record,
                     std::span<uint8_t> out) {
    const size_t sectors = out.size() / kSectorSize;
    if (record > UINT64_MAX / map.record_sectors() || sectors == 0)
        return false;
    const uint64_t first = map.record_sectors() * record;
    if (map.sector_at(first) == 0)
        return false;
    size_t unread = 0;
    for (size_t k = 0; k < sectors;) {
        const Lba at = map.sector_at(first + k);
        // Sectors that follow each other on disk are read together.
        size_t run = 1;
        while (at != 0 && k + run < sectors && map.sector_at(first + k + run) == at + run)
            ++run;
        const auto part = out.subspan(k * kSectorSize, run * kSectorSize);
        if (at == 0) {
            std::fill(part.begin(), part.end(), uint8_t{0});
            unread += run;
        } else {
            unread += reader.read_sectors_or_zeros(at, static_cast<uint32_t>(run), part);
        }
        k += run;
    }
    return unread < sectors;
}

bool read_record_at(const SectorReader& reader, const MftMap* map, Lba sector,
                    std::span<uint8_t> record) {
    if (sector == 0)
        return false;
    if (map) {
        if (const auto number = map->record_at_sector(sector))
            return read_mft_record(reader, *map, *number, record);
    }
    const auto sectors = static_cast<uint32_t>(record.size() / kSectorSize);
    return reader.read_sectors_or_zeros(sector, sectors, record) < sectors;
}

MftMap build_mft_map(const SectorReader& reader, const VolumeInfo& volume, Lba lastSector) {
    if (volume.sectorsPerCluster == 0) {
        MftMap none;
        none.set_record_sectors(record_sectors_of(volume));
        return none;
    }
    const Bounds bounds = volume_bounds(reader, volume, lastSector);
    MftMap map = map_from(reader, volume, bounds, volume.mftStart);
    map.set_record_sectors(record_sectors_of(volume));
    map.set_source(map.empty() ? MftMap::Source::None : MftMap::Source::Mft);
    if (volume.mftMirrorStart != 0 && volume.mftMirrorStart != volume.mftStart) {
        MftMap mirror = map_from(reader, volume, bounds, volume.mftMirrorStart);
        if (mapped_sectors(mirror) > mapped_sectors(map)) {
            mirror.set_source(MftMap::Source::Mirror);
            return mirror;
        }
    }
    return map;
}

} // namespace salvex
