#include "ntfs/mft_map.h"

#include "ntfs/attribute_list.h"
#include "ntfs/mft_record.h"
#include "ntfs/run_list.h"

#include <algorithm>
#include <array>
#include <set>

namespace salvex {

namespace {

using Record = std::array<uint8_t, mft_record::kSize>;

constexpr uint32_t kMftRecord = 0;
constexpr uint32_t kRootRecord = 5;

bool read_record(const SectorReader& reader, Lba at, Record& record) {
    record.fill(0);
    if (at == 0 || !reader.read_sectors(at, 2, record) || !has_file_signature(record))
        return false;
    apply_fixup(record);
    return true;
}

// Appends the runs of one part of $MFT's $DATA, converted to sectors. Each part's run list
// starts from an absolute cluster.
void append_runs(const AttributeView& data, const VolumeInfo& volume, MftMap& map) {
    const uint16_t runsAt = le16(data.bytes, attribute::kRunListOffset).value_or(0);
    const uint64_t spc = volume.sectorsPerCluster;
    for (const DataRun& run : decode_run_list(data.bytes, runsAt)) {
        if (run.clusters > UINT64_MAX / spc || (!run.sparse && run.lcn > UINT64_MAX / spc))
            return;
        map.append({run.sparse ? 0 : volume.cluster_sector(run.lcn), run.clusters * spc});
    }
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

Lba MftMap::record_to_sector(uint64_t record) const {
    if (record > UINT64_MAX / 2)
        return 0;
    const uint64_t target = 2 * record;
    const auto it = std::upper_bound(ends_.begin(), ends_.end(), target);
    if (it == ends_.end())
        return 0;
    const size_t index = static_cast<size_t>(it - ends_.begin());
    const uint64_t before = index == 0 ? 0 : ends_[index - 1];
    const MftExtent& extent = extents_[index];
    return extent.start == 0 ? 0 : extent.start + (target - before);
}

MftMap build_mft_map(const SectorReader& reader, const VolumeInfo& volume) {
    MftMap map;
    if (volume.sectorsPerCluster == 0)
        return map;
    Record record{};
    if (!read_record(reader, volume.mftStart + 2 * kRootRecord, record))
        return map;
    if (!read_record(reader, volume.mftStart, record))
        return map;
    const auto data = find_unnamed_attribute(record, kData);
    if (!data || !data->non_resident())
        return map;
    append_runs(*data, volume, map);

    // A fragmented $MFT keeps the rest of its run list in extension records, named by its
    // attribute list in the order of their first clusters.
    const auto list = read_attribute_list(record, reader, volume);
    if (!list)
        return map;
    std::vector<AttributeListEntry> parts;
    for (const AttributeListEntry& entry : parse_attribute_list(*list)) {
        if (entry.type == kData && entry.nameLength == 0)
            parts.push_back(entry);
    }
    if (parts.empty())
        return map;

    const MftMap base = map; // locates the extension records while the full map is rebuilt
    map.clear();
    std::set<std::pair<uint32_t, uint16_t>> seen;
    for (const AttributeListEntry& part : parts) {
        if (!seen.insert({part.record, part.attributeId}).second)
            continue;
        Lba at = map.record_to_sector(part.record);
        if (at == 0)
            at = base.record_to_sector(part.record);
        Record holder{};
        if (!read_record(reader, at, holder))
            continue;
        if (const auto piece = find_listed_part(holder, part))
            append_runs(*piece, volume, map);
    }
    if (map.empty())
        return base;
    return map;
}

} // namespace salvex
