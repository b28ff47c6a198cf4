#include "ntfs/file_data.h"

#include "ntfs/attribute_list.h"
#include "ntfs/mft_record.h"
#include "ntfs/utf16.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

namespace salvex {

namespace {

using Record = std::vector<uint8_t>;

constexpr uint16_t kCompressedFlag = 0x0001;
constexpr uint16_t kEncryptedFlag = 0x4000;

// The record of `sectors` sectors (the volume's record size) at `at`.
std::optional<Record> read_record(const SectorReader& reader, Lba at, uint32_t sectors) {
    Record record(size_t{sectors} * kSectorSize, 0);
    if (at == 0 || !reader.read_sectors(at, sectors, record) || !has_file_signature(record))
        return std::nullopt;
    apply_fixup(record);
    return record;
}

// Whether `a` is the $DATA of `stream` (the unnamed one when `stream` is empty).
bool is_stream(const AttributeView& a, std::string_view stream) {
    if (a.type != kData)
        return false;
    if (stream.empty() || a.unnamed())
        return stream.empty() && a.unnamed(); // both unnamed, or one named and one not
    const uint8_t units = le8(a.bytes, attribute::kNameLength).value_or(0);
    const uint16_t at = le16(a.bytes, attribute::kNameOffset).value_or(0);
    return utf16le_to_utf8(a.bytes, at, units) == stream;
}

// The $DATA of `stream` that starts in `record` (the unnamed one when `stream` is empty).
std::optional<AttributeView> find_stream(ByteView record, std::string_view stream) {
    return stream.empty() ? find_unnamed_attribute(record, kData)
                          : find_named_attribute(record, kData, stream);
}

// One part of a non-resident attribute: the first cluster it covers within the attribute and its
// runs. The part that starts the attribute (lowestVcn 0) also carries its sizes and flags.
struct Part {
    uint64_t lowestVcn = 0;
    RunList runs;
    uint64_t dataSize = 0;
    uint64_t initializedSize = 0;
    uint16_t flags = 0;
    uint16_t compressionUnit = 0; // log2 of clusters
};

Part part_of(const AttributeView& data) {
    const uint16_t runsAt = le16(data.bytes, attribute::kRunListOffset).value_or(0);
    Part part{le64(data.bytes, attribute::kLowestVcn).value_or(0),
              decode_run_list(data.bytes, runsAt)};
    part.dataSize = le64(data.bytes, attribute::kDataSize).value_or(0);
    part.initializedSize = le64(data.bytes, attribute::kInitializedSize).value_or(part.dataSize);
    part.flags = data.flags();
    part.compressionUnit = le16(data.bytes, attribute::kCompressionUnit).value_or(0);
    return part;
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

// The base record whose attribute is gathered: its number and sequence number.
struct Owner {
    uint64_t number = 0;
    uint16_t sequence = 0;
    bool inUse = true;

    // Whether `reference` (an extension record's base reference) names this record. Freeing a
    // record raises its sequence number (0 is skipped), so the extensions of a deleted file name
    // the number before it.
    bool named_by(MftReference reference) const {
        if (reference.record != number)
            return false;
        const uint16_t next = reference.sequence == 0xFFFF ? 1 : reference.sequence + 1;
        return reference.sequence == sequence || (!inUse && next == sequence);
    }
};

Owner owner_of(ByteView base, uint64_t number) {
    return Owner{number, record_sequence(base),
                 record_flags::in_use(le8(base, mft_record::kFlags).value_or(0))};
}

// Collects the parts of one stream from the records that hold them, each record once.
class PartCollector {
public:
    PartCollector(std::string_view stream, uint32_t recordSectors)
        : stream_(stream), recordSectors_(recordSectors) {}

    void add_parts_of(ByteView record) {
        for_each_attribute(record, [&](const AttributeView& a) {
            if (a.non_resident() && is_stream(a, stream_))
                parts_.push_back(part_of(a));
            return true;
        });
    }
    // Marks `sector` as read; false when it was already.
    bool first_visit(Lba sector) { return sector != 0 && visited_.insert(sector).second; }
    // Adds the parts of the extension record at `sector` when its header names `owner`.
    void add_extension(const SectorReader& reader, Lba sector, const Owner& owner) {
        if (!first_visit(sector))
            return;
        const auto record = read_record(reader, sector, recordSectors_);
        if (record && is_extension_record(*record) && owner.named_by(base_reference(*record)))
            add_parts_of(*record);
    }
    std::vector<Part>& parts() { return parts_; }

private:
    std::string_view stream_;
    uint32_t recordSectors_;
    std::set<Lba> visited_;
    std::vector<Part> parts_;
};

// The base record that `reference` names, read through the map; nullopt when the record there
// is another file's now.
std::optional<Record> named_base(const SectorReader& reader, const MftMap& map,
                                 MftReference reference) {
    if (map.empty())
        return std::nullopt;
    auto base = read_record(reader, map.record_to_sector(reference.record),
                            static_cast<uint32_t>(map.record_sectors()));
    if (!base || is_extension_record(*base) ||
        !owner_of(*base, reference.record).named_by(reference))
        return std::nullopt;
    return base;
}

void fill_header_fields(FileData& file, const Part& first) {
    file.dataSize = first.dataSize;
    file.initializedSize = std::min(file.dataSize, first.initializedSize);
    file.compressed = (first.flags & kCompressedFlag) != 0;
    file.encrypted = (first.flags & kEncryptedFlag) != 0;
    file.compressionUnitClusters =
        first.compressionUnit > 0 && first.compressionUnit < 16 ? 1u << first.compressionUnit : 0;
}

// Every part of `stream` that `record` (the one holding its start) and its extension records
// hold; the parts of `record` come first, so that they win over a repeated part.
std::vector<Part> gather_parts(const SectorReader& reader, const NtfsScan& scan,
                               const FileNode& file, ByteView record, std::string_view stream) {
    PartCollector collector(stream, record_sectors_of(scan.volume));
    collector.first_visit(file.recordSector);
    collector.add_parts_of(record);
    Owner owner;
    std::optional<Record> readBase;
    ByteView base = record;
    if (is_extension_record(record)) {
        const MftReference reference = base_reference(record);
        owner = Owner{reference.record, reference.sequence, true};
        readBase = named_base(reader, scan.mftMap, reference);
        base = readBase ? ByteView(*readBase) : ByteView{};
        if (readBase) {
            owner = owner_of(base, reference.record);
            collector.add_parts_of(base);
        }
    } else {
        // The number the header states, else the one the scan listed (an older header lacks it).
        const uint32_t own = own_record_number(record).value_or(0);
        owner = owner_of(record, own != 0 ? own : file.recordNumber);
    }
    // The base record's attribute list names the records of every part.
    if (!base.empty() && !scan.mftMap.empty()) {
        const auto list = read_attribute_list(base, reader, scan.volume);
        for (const AttributeListEntry& entry :
             list ? parse_attribute_list(*list) : std::vector<AttributeListEntry>{}) {
            if (entry.type == kData && entry.record != owner.number)
                collector.add_extension(reader, scan.mftMap.record_to_sector(entry.record), owner);
        }
    }
    // The extension records a sweep found naming the base record, listed or not.
    const auto found = owner.number <= UINT32_MAX
                           ? scan.extensionRecords.find(static_cast<uint32_t>(owner.number))
                           : scan.extensionRecords.end();
    if (found != scan.extensionRecords.end()) {
        for (const Lba sector : found->second)
            collector.add_extension(reader, sector, owner);
    }
    return std::move(collector.parts());
}

} // namespace

std::optional<FileData> found_by_content(const VolumeInfo& volume, const FileNode& file) {
    const uint64_t spc = volume.sectorsPerCluster;
    if (!file.contentStart || spc == 0 || *file.contentStart < volume.fsStart ||
        (*file.contentStart - volume.fsStart) % spc != 0)
        return std::nullopt;
    const uint64_t clusterBytes = spc * kSectorSize;
    FileData data;
    data.kind = FileData::Kind::NonResident;
    data.dataSize = file.size;
    data.initializedSize = file.size;
    if (file.size > 0)
        data.runs.push_back({(*file.contentStart - volume.fsStart) / spc,
                             (file.size + clusterBytes - 1) / clusterBytes, false});
    return data;
}

std::optional<FileData> locate_file_data(const SectorReader& reader, const NtfsScan& scan,
                                         const FileNode& file) {
    if (file.contentStart)
        return found_by_content(scan.volume, file);
    const auto record = read_record(reader, file.recordSector, record_sectors_of(scan.volume));
    if (!record)
        return std::nullopt;
    std::string_view stream = file.stream;
    auto data = find_stream(*record, stream);
    if (!data && !stream.empty()) {
        stream = {}; // a colon in the file's own name, not a stream
        data = find_stream(*record, stream);
    }
    if (!data)
        return std::nullopt;

    FileData result;
    if (!data->non_resident()) {
        const auto value = data->resident_value();
        if (!value)
            return std::nullopt;
        result.residentValue.assign(value->begin(), value->end());
        result.dataSize = result.initializedSize = value->size();
        return result;
    }

    result.kind = FileData::Kind::NonResident;
    std::vector<Part> parts = gather_parts(reader, scan, file, *record, stream);
    const auto first =
        std::find_if(parts.begin(), parts.end(), [](const Part& p) { return p.lowestVcn == 0; });
    const bool startFound = first != parts.end();
    if (startFound)
        fill_header_fields(result, *first);
    result.runs = join_parts(std::move(parts));
    if (!startFound) {
        // Without the attribute's start its size is unknown: every cluster of the runs is kept.
        const uint64_t clusterBytes = uint64_t{scan.volume.sectorsPerCluster} * kSectorSize;
        const uint64_t clusters = run_list_clusters(result.runs);
        result.dataSize = clusterBytes == 0 || clusters > UINT64_MAX / clusterBytes
                              ? UINT64_MAX
                              : clusters * clusterBytes;
        result.initializedSize = result.dataSize;
        result.sizeFromRecord = false;
    }
    return result;
}

} // namespace salvex
