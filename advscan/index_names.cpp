#include "advscan/index_names.h"

#include "advscan/record_hit.h"
#include "ntfs/index_block.h"

#include <unordered_set>
#include <vector>

namespace salvex {

namespace {

// Records below this are the volume's own files, listed from their records.
constexpr uint64_t kFirstUserRecord = 16;

// The entries of a block from its first one to the block's end, past the entry that ends its
// used part: an entry starts where the one before it ends.
void take_entries(ByteView block, uint64_t first, uint32_t owner,
                  std::unordered_map<uint32_t, IndexedFolder>& indexed) {
    for_each_index_entry(block, first, [&](const IndexEntryView& entry) {
        if (entry.is_last() && entry.length() <= index_entry::kKey)
            return true; // the end of the used part; stale entries may follow
        const uint64_t reference = entry.file_reference().record;
        const auto record = static_cast<uint32_t>(reference);
        if (!entry.is_folder() || entry.parent() != owner || reference < kFirstUserRecord ||
            reference > UINT32_MAX)
            return true;
        if (auto name = entry.name(); name && !name->empty())
            indexed.try_emplace(record,
                                IndexedFolder{std::move(*name), owner, entry.creation_time()});
        return true;
    });
}

} // namespace

std::unordered_map<uint32_t, IndexedFolder>
indexed_folders(const SectorReader& reader, const HitLists& hits, Lba start, Lba end) {
    std::unordered_map<uint32_t, IndexedFolder> indexed;
    std::vector<uint8_t> block;
    for (const auto* blocks : {&hits.indexBlocks, &hits.laterIndexBlocks}) {
        for (const IndexBlockHit& hit : *blocks) {
            if (hit.sector < start || hit.sector > end || hit.sizeInSectors == 0)
                continue;
            block.assign(size_t{hit.sizeInSectors} * kSectorSize, 0);
            reader.read_sectors_or_zeros(hit.sector, hit.sizeInSectors, block);
            apply_fixup(block);
            take_entries(block, index_block_first_entry(block), hit.owner, indexed);
        }
    }
    // A small folder's entries lie in its own record, in the root of its index.
    std::vector<uint8_t> record(kMaxSweptRecordSize);
    for (const FolderRecordHit& hit : hits.folders) {
        if (hit.sector < start || hit.sector > end || hit.mftNumber < kRootFolderRecord)
            continue;
        reader.read_sectors_or_zeros(hit.sector, kMaxSweptRecordSize / kSectorSize, record);
        const size_t size = swept_record_size(record);
        const auto bytes = std::span(record).first(size);
        apply_fixup(bytes);
        const auto root = find_i30_attribute(bytes, kIndexRoot);
        const auto value = root ? root->resident_value() : std::nullopt;
        if (value && value->size() > index_root::kNodeHeader)
            take_entries(*value, index_root_first_entry(*value), hit.mftNumber, indexed);
    }
    return indexed;
}

void add_indexed_folders(const SectorReader& reader, const HitLists& hits, Lba start, Lba end,
                         NtfsItems& items) {
    std::vector<uint32_t> missing;
    std::unordered_set<uint32_t> seen;
    const auto note = [&](uint32_t parent) {
        if (parent != kRootFolderRecord && items.find_folder(parent) == nullptr &&
            seen.insert(parent).second)
            missing.push_back(parent);
    };
    for (const FolderNode& folder : items.folders)
        note(folder.parent);
    for (const FileNode& file : items.files)
        note(file.parent);
    if (missing.empty())
        return;
    const auto indexed = indexed_folders(reader, hits, start, end);
    while (!missing.empty()) {
        const uint32_t record = missing.back();
        missing.pop_back();
        const auto found = indexed.find(record);
        if (found == indexed.end())
            continue;
        FolderNode folder;
        folder.name = found->second.name;
        folder.recordNumber = record;
        folder.parent = found->second.parent;
        folder.creationTime = found->second.creationTime;
        folder.deleted = true; // its record is gone
        items.add_folder(std::move(folder), ScanMode::Advance);
        note(found->second.parent);
    }
}

} // namespace salvex
