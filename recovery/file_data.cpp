#include "recovery/file_data.h"

#include "ntfs/attribute_list.h"
#include "ntfs/mft_record.h"

#include <algorithm>
#include <array>

namespace salvex {

namespace {

using Record = std::array<uint8_t, mft_record::kSize>;

constexpr size_t kInitializedSize = 0x38; // non-resident: 8 bytes
constexpr uint16_t kCompressedFlag = 0x0001;
constexpr uint16_t kEncryptedFlag = 0x4000;

std::optional<Record> read_record(const SectorReader& reader, Lba at) {
    Record record{};
    if (at == 0 || !reader.read_sectors(at, 2, record) || !has_file_signature(record))
        return std::nullopt;
    apply_fixup(record);
    return record;
}

struct Part {
    uint64_t lowestVcn = 0;
    RunList runs;
};

Part part_of(const AttributeView& data) {
    const uint16_t runsAt = le16(data.bytes, attribute::kRunListOffset).value_or(0);
    return Part{le64(data.bytes, attribute::kLowestVcn).value_or(0),
                decode_run_list(data.bytes, runsAt)};
}

// Joins parts in cluster order; a gap between parts becomes a sparse run.
RunList join_parts(std::vector<Part> parts) {
    std::stable_sort(parts.begin(), parts.end(),
                     [](const Part& a, const Part& b) { return a.lowestVcn < b.lowestVcn; });
    RunList runs;
    uint64_t vcn = 0;
    for (Part& part : parts) {
        if (part.lowestVcn < vcn)
            continue; // overlaps what is already placed: a repeated or damaged part
        if (part.lowestVcn > vcn)
            runs.push_back(DataRun{0, part.lowestVcn - vcn, true});
        runs.insert(runs.end(), part.runs.begin(), part.runs.end());
        vcn = part.lowestVcn + run_list_clusters(part.runs);
    }
    return runs;
}

// Every part of the unnamed $DATA named by the attribute list of `base`.
std::vector<Part> listed_parts(const SectorReader& reader, const VolumeInfo& volume,
                               const MftMap& map, ByteView base) {
    std::vector<Part> parts;
    const auto list = read_attribute_list(base, reader, volume);
    if (!list)
        return parts;
    for (const AttributeListEntry& entry : parse_attribute_list(*list)) {
        if (entry.type != kData || entry.nameLength != 0)
            continue;
        const auto holder = read_record(reader, map.record_to_sector(entry.record));
        if (!holder)
            continue;
        if (const auto data = find_listed_part(*holder, entry))
            parts.push_back(part_of(*data));
    }
    return parts;
}

} // namespace

std::optional<FileData> locate_file_data(const SectorReader& reader, const VolumeInfo& volume,
                                         const MftMap* map, Lba recordSector,
                                         std::string_view stream) {
    const auto record = read_record(reader, recordSector);
    if (!record)
        return std::nullopt;
    const auto data = stream.empty() ? find_unnamed_attribute(*record, kData)
                                     : find_named_attribute(*record, kData, stream);
    if (!data)
        return std::nullopt;

    FileData file;
    if (!data->non_resident()) {
        const auto value = data->resident_value();
        if (!value)
            return std::nullopt;
        file.residentValue.assign(value->begin(), value->end());
        file.dataSize = file.initializedSize = value->size();
        return file;
    }

    file.kind = FileData::Kind::NonResident;
    std::vector<Part> parts;
    if (map && stream.empty()) {
        // The base record's attribute list names every part, the one in hand included.
        const bool extension = is_extension_record(*record);
        const auto base =
            extension ? read_record(reader, map->record_to_sector(base_reference(*record).record))
                      : std::optional<Record>(*record);
        if (base)
            parts = listed_parts(reader, volume, *map, *base);
    }
    if (parts.empty())
        parts.push_back(part_of(*data));
    file.runs = join_parts(std::move(parts));

    // The sizes and flags are those of the part that starts the attribute.
    std::optional<AttributeView> first = data;
    if (le64(data->bytes, attribute::kLowestVcn).value_or(0) != 0)
        first.reset();
    if (first) {
        file.dataSize = le64(first->bytes, attribute::kDataSize).value_or(0);
        file.initializedSize =
            std::min(file.dataSize, le64(first->bytes, kInitializedSize).value_or(file.dataSize));
        file.compressed = (first->flags() & kCompressedFlag) != 0;
        file.encrypted = (first->flags() & kEncryptedFlag) != 0;
        const uint16_t unit = le16(first->bytes, attribute::kCompressionUnit).value_or(0);
        file.compressionUnitClusters = unit > 0 && unit < 16 ? 1u << unit : 0;
    } else {
        file.dataSize = file.initializedSize =
            run_list_clusters(file.runs) * uint64_t{volume.sectorsPerCluster} * kSectorSize;
    }
    return file;
}

} // namespace salvex
