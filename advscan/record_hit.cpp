#include "advscan/record_hit.h"

#include "ntfs/file_name.h"
#include "ntfs/index_block.h"
#include "ntfs/item_tree.h"
#include "ntfs/record_items.h"
#include "ntfs/run_list.h"
#include "ntfs/utf16.h"

#include <algorithm>

namespace salvex {

namespace {

constexpr uint32_t kExtendRecord = 11;
// Records 0 to 23 are reserved for the file system's own files.
constexpr uint32_t kFirstUserRecord = 24;

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Applies the fix-up to a record and returns the part of it that can be trusted: the sectors
// from its first up to the first one torn (a sector that does not end in the update sequence
// array's check value was not written together with the first, or was not read). The first
// sector holds the array itself, so a record whose first sector is torn gives nothing. In a
// record torn later on, only the attributes that lie whole in the intact sectors are decoded.
ByteView fixed_up_intact_part(std::span<uint8_t> record) {
    const size_t intact = apply_fixup_counting(record).intactSectors;
    return ByteView(record).first(intact * kSectorSize);
}

// A folder's own record number: the root's and $Extend's are known by their names; any other's
// is what its header states, where the header has room for it, else what its index root says.
uint32_t folder_number(ByteView record, std::string_view name) {
    if (equals_ignoring_case(name, "."))
        return kRootFolderRecord;
    if (equals_ignoring_case(name, "$Extend"))
        return kExtendRecord;
    const uint32_t own = own_record_number(record).value_or(0);
    return own != 0 ? own : folder_number_from_index_root(record);
}

void add_folder_hit(ByteView record, const FileNameInfo& name, Lba sector, bool deleted,
                    HitLists& hits) {
    FolderRecordHit folder;
    take_file_name(folder, name);
    folder.mftNumber = folder_number(record, name.name);
    folder.firstIndexCluster = first_index_cluster(record);
    folder.sequence = record_sequence(record);
    folder.sector = sector;
    folder.deleted = deleted;
    hits.folders.push_back(std::move(folder));
}

// The hit of a base record's item, or of one of its named streams (`stream`), sized from the
// part of that data which starts at VCN 0 when the record holds it.
FileRecordHit item_hit(ByteView record, size_t wholeSize, const std::optional<FileNameInfo>& name,
                       Lba sector, bool deleted, const std::vector<DataPartHit>& parts,
                       const std::string& stream) {
    FileRecordHit hit;
    hit.torn = record.size() < wholeSize;
    if (name)
        take_file_name(hit, *name);
    hit.nameElsewhere = !name;
    hit.stream = stream;
    hit.sector = sector;
    hit.mftNumber = own_record_number(record).value_or(0);
    hit.sequence = record_sequence(record);
    hit.deleted = deleted;
    const auto first = std::find_if(parts.begin(), parts.end(), [&](const DataPartHit& p) {
        return p.stream == stream && p.lowestVcn == 0;
    });
    hit.dataStartsHere = first != parts.end();
    hit.dataSize = hit.dataStartsHere ? first->dataSize : 0;
    return hit;
}

// The named streams of a record, each once, in the order their first parts appear.
std::vector<std::string> stream_names(const std::vector<DataPartHit>& parts) {
    std::vector<std::string> names;
    for (const DataPartHit& p : parts) {
        if (!p.stream.empty() && std::find(names.begin(), names.end(), p.stream) == names.end())
            names.push_back(p.stream);
    }
    return names;
}

void decode_extension_record(ByteView record, Lba sector, HitLists& hits) {
    ExtensionRecordHit extension;
    extension.sector = sector;
    extension.base = base_reference(record);
    extension.dataParts = data_parts(record);
    extension.names = listed_names(ItemRecords{{record}, {sector}});
    if (!extension.dataParts.empty() || !extension.names.empty())
        hits.extensions.push_back(std::move(extension));
}

} // namespace

size_t swept_record_size(ByteView firstSector) {
    const uint16_t count = le16(firstSector, mft_record::kFixupCount).value_or(0);
    const size_t bytes = count > 1 ? size_t{count - 1u} * kSectorSize : 0;
    if (bytes < kSectorSize || bytes > kMaxSweptRecordSize || (bytes & (bytes - 1)) != 0)
        return kSweptRecordSize;
    return bytes;
}

uint32_t folder_number_from_index_root(ByteView record) {
    const auto root = find_i30_attribute(record, kIndexRoot);
    if (!root || root->bytes.size() <= index_root::kI30FirstEntry)
        return 0;
    // The first entry of a folder's own index names the folder as its parent.
    const IndexEntryView first{root->bytes.subspan(index_root::kI30FirstEntry)};
    if (first.name_length() == 0)
        return 0;
    const uint32_t number = first.parent();
    return number == 0xFFFFFFFF ? 0 : number;
}

int64_t first_index_cluster(ByteView record) {
    const auto allocation = find_i30_attribute(record, kIndexAllocation);
    if (!allocation || !allocation->non_resident())
        return 0;
    const ByteView a = allocation->bytes;
    const RunList runs = decode_run_list(a, le16(a, attribute::kRunListOffset).value_or(0));
    if (runs.empty() || runs.front().sparse)
        return 0;
    return static_cast<int64_t>(runs.front().lcn);
}

std::vector<DataPartHit> data_parts(ByteView record) {
    std::vector<DataPartHit> parts;
    for_each_attribute(record, [&](const AttributeView& a) {
        if (a.type != kData)
            return true;
        DataPartHit part;
        part.stream = utf16le_to_utf8(a.bytes, le16(a.bytes, attribute::kNameOffset).value_or(0),
                                      le8(a.bytes, attribute::kNameLength).value_or(0));
        if (a.non_resident()) {
            part.lowestVcn = le64(a.bytes, attribute::kLowestVcn).value_or(0);
            if (part.lowestVcn == 0)
                part.dataSize = le64(a.bytes, attribute::kDataSize).value_or(0);
        } else {
            part.dataSize = le32(a.bytes, attribute::kValueLength).value_or(0);
        }
        parts.push_back(std::move(part));
        return true;
    });
    return parts;
}

void decode_file_record_hit(std::span<uint8_t> whole, Lba sector, HitLists& hits) {
    if (!is_sane_file_record(whole))
        return;
    const ByteView record = fixed_up_intact_part(whole);
    if (record.empty())
        return;
    if (is_extension_record(record)) {
        decode_extension_record(record, sector, hits);
        return;
    }
    const uint8_t flags = record[mft_record::kFlags];
    const bool folder = record_flags::is_folder(flags);
    // A swept record counts only with one of the four plain values.
    if (!folder && flags != record_flags::kFile && flags != record_flags::kDeletedFile)
        return;
    const uint32_t number = own_record_number(record).value_or(0);
    const bool deleted = record_flags::is_deleted(flags);
    const std::vector<DataPartHit> parts = data_parts(record);
    // Named data streams, of files and folders alike, are listed beside their item; not those of
    // the file system's own files ($BadClus:$Bad, $UsnJrnl:$J), which are bookkeeping as large
    // as the volume, mostly sparse.
    const auto streams_of = [&](const std::optional<FileNameInfo>& name) {
        const bool system =
            (number > 0 && number < kFirstUserRecord) || (name && name->parent == kExtendRecord);
        return system ? std::vector<std::string>{} : stream_names(parts);
    };
    if (folder) {
        const auto name = find_display_name(record);
        if (!name)
            return;
        add_folder_hit(record, *name, sector, deleted, hits);
        for (const std::string& stream : streams_of(name))
            hits.files.push_back(
                item_hit(record, whole.size(), name, sector, deleted, parts, stream));
        return;
    }

    // A file is listed under each of its names (hard links), as the Standard Scan lists it.
    std::vector<std::optional<FileNameInfo>> names;
    for (FileNameInfo& name : listed_names(ItemRecords{{record}, {sector}}))
        names.emplace_back(std::move(name));
    // A file whose name went to an extension record is kept, to be named from there; it can be
    // matched to that record only by its own record number.
    if (names.empty() && number != 0 && find_unnamed_attribute(record, kAttributeList))
        names.emplace_back(std::nullopt);
    for (const auto& name : names) {
        hits.files.push_back(item_hit(record, whole.size(), name, sector, deleted, parts, ""));
        for (const std::string& stream : streams_of(name))
            hits.files.push_back(
                item_hit(record, whole.size(), name, sector, deleted, parts, stream));
    }
}

} // namespace salvex
