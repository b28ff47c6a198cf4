#include "ntfs/attribute_list.h"

#include "ntfs/mft_record.h"
#include "ntfs/run_list.h"

#include <algorithm>

namespace salvex {

namespace {

constexpr uint64_t kMaxListBytes = 1024 * 1024;

std::optional<std::vector<uint8_t>>
read_non_resident(const AttributeView& list, const SectorReader& reader, const VolumeInfo& volume) {
    const uint64_t size = le64(list.bytes, attribute::kDataSize).value_or(0);
    const uint16_t runsAt = le16(list.bytes, attribute::kRunListOffset).value_or(0);
    if (size == 0 || size > kMaxListBytes || volume.sectorsPerCluster == 0)
        return std::nullopt;
    std::vector<uint8_t> value;
    value.reserve(size);
    const size_t clusterBytes = size_t{volume.sectorsPerCluster} * kSectorSize;
    std::vector<uint8_t> cluster(clusterBytes);
    for (const DataRun& run : decode_run_list(list.bytes, runsAt)) {
        for (uint64_t c = 0; c < run.clusters && value.size() < size; ++c) {
            std::fill(cluster.begin(), cluster.end(), uint8_t{0});
            if (!run.sparse)
                reader.read_sectors(volume.cluster_sector(run.lcn + c), volume.sectorsPerCluster,
                                    cluster);
            const size_t take = std::min<uint64_t>(clusterBytes, size - value.size());
            value.insert(value.end(), cluster.begin(), cluster.begin() + static_cast<long>(take));
        }
    }
    return value;
}

} // namespace

std::vector<AttributeListEntry> parse_attribute_list(ByteView value) {
    std::vector<AttributeListEntry> entries;
    size_t at = 0;
    while (at + attribute_list_entry::kMinimumSize <= value.size()) {
        const uint32_t type = *le32(value, at + attribute_list_entry::kType);
        if (type == 0 || type == kEndMarker)
            break;
        const uint16_t length = *le16(value, at + attribute_list_entry::kLength);
        if (length < attribute_list_entry::kMinimumSize || length > value.size() - at)
            break;
        AttributeListEntry entry;
        entry.type = type;
        entry.nameLength = *le8(value, at + attribute_list_entry::kNameLength);
        entry.lowestVcn = *le64(value, at + attribute_list_entry::kLowestVcn);
        const MftReference reference =
            decode_reference(*le64(value, at + attribute_list_entry::kRecord));
        entry.record = static_cast<uint32_t>(reference.record);
        entry.recordSequence = reference.sequence;
        entry.attributeId = *le16(value, at + attribute_list_entry::kAttributeId);
        entries.push_back(entry);
        at += length;
    }
    return entries;
}

std::optional<AttributeView> find_listed_part(ByteView record, const AttributeListEntry& entry) {
    std::optional<AttributeView> byId;
    std::optional<AttributeView> byVcn;
    for_each_attribute(record, [&](const AttributeView& a) {
        if (a.type != entry.type || !a.unnamed() || !a.non_resident())
            return true;
        if (a.id() == entry.attributeId)
            byId = a;
        else if (!byVcn && le64(a.bytes, attribute::kLowestVcn) == entry.lowestVcn)
            byVcn = a;
        return !byId;
    });
    return byId ? byId : byVcn;
}

std::optional<std::vector<uint8_t>> read_attribute_list(ByteView record, const SectorReader& reader,
                                                        const VolumeInfo& volume) {
    const auto list = find_unnamed_attribute(record, kAttributeList);
    if (!list)
        return std::nullopt;
    if (list->non_resident())
        return read_non_resident(*list, reader, volume);
    const auto value = list->resident_value();
    if (!value)
        return std::nullopt;
    return std::vector<uint8_t>(value->begin(), value->end());
}

RecordList collect_record_list(ByteView record, uint32_t recordNumber, const SectorReader& reader,
                               const VolumeInfo& volume) {
    RecordList records{{recordNumber, record_sequence(record)}};
    const auto list = read_attribute_list(record, reader, volume);
    if (!list)
        return records;
    for (const AttributeListEntry& entry : parse_attribute_list(*list)) {
        if (records.size() == kMaxRecordList)
            break;
        const bool listed = std::any_of(records.begin(), records.end(),
                                        [&](const auto& r) { return r.record == entry.record; });
        if (!listed)
            records.push_back({entry.record, entry.recordSequence});
    }
    return records;
}

bool belongs_to(ByteView extension, const MftReference& reference, const MftReference& base) {
    const auto same = [](uint16_t a, uint16_t b) { return a == 0 || b == 0 || a == b; };
    const MftReference named = base_reference(extension);
    return named.record == base.record && same(named.sequence, base.sequence) &&
           same(reference.sequence, record_sequence(extension));
}

} // namespace salvex
