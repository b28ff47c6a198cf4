#include "advscan/sector_sweep.h"

#include "ntfs/file_name.h"
#include "ntfs/index_block.h"
#include "ntfs/item_tree.h"
#include "ntfs/mft_record.h"

#include <algorithm>
#include <array>
#include <vector>

namespace salvex {

namespace {

// Sectors read per call: whole batches, about 1 MiB.
constexpr uint64_t kReadSectors = 2048;
// The status line and the bar move once per this many batches.
constexpr uint64_t kBatchesPerUpdate = 88;

// File records are taken at this size, whatever their header or a boot sector says.
constexpr size_t kRecordSize = mft_record::kSize;
constexpr uint64_t kRecordSectors = kRecordSize / kSectorSize;

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
    const uint16_t array = le16(record, mft_record::kFixupOffset).value_or(0);
    const auto check = le16(record, array);
    size_t intact = 0;
    while (check && intact < record.size() / kSectorSize &&
           le16(record, (intact + 1) * kSectorSize - 2) == check)
        ++intact;
    apply_fixup(record);
    return ByteView(record).first(intact * kSectorSize);
}

void show_counts(ProgressSink& progress, const HitLists& hits) {
    progress.set_counter("Boot Sector(s) Found", std::to_string(hits.bootSectors.size()));
    progress.set_counter("Index Entries Found", std::to_string(hits.indexBlocks.size()));
    progress.set_counter("File(s) Found", std::to_string(hits.files.size()));
    progress.set_counter("Folder(s) Found", std::to_string(hits.folders.size()));
}

} // namespace

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
    const size_t runs = le16(a, attribute::kRunListOffset).value_or(0);
    const uint8_t header = le8(a, runs).value_or(0);
    const size_t offsetBytes = header >> 4;
    if (header == 0 || offsetBytes == 0 || offsetBytes > 8)
        return 0;
    const auto raw = le_uint(a, runs + 1 + (header & 0x0F), offsetBytes);
    if (!raw)
        return 0;
    if (offsetBytes < 8 && ((*raw >> (8 * offsetBytes - 1)) & 1))
        return static_cast<int64_t>(*raw | (~uint64_t{0} << (8 * offsetBytes)));
    return static_cast<int64_t>(*raw);
}

void decode_file_record_hit(std::span<uint8_t> whole, Lba sector, HitLists& hits) {
    if (!is_sane_file_record(whole))
        return;
    const ByteView record = fixed_up_intact_part(whole);
    if (record.empty())
        return;
    if (is_extension_record(record))
        return; // an extension record: part of another item
    auto name = find_display_name(record);
    if (!name)
        return;
    const uint8_t flags = record[mft_record::kFlags];
    if (flags == 2 || flags == 3) {
        FolderRecordHit folder;
        folder.mftNumber = equals_ignoring_case(name->name, ".") ? 5
                           : equals_ignoring_case(name->name, "$Extend")
                               ? 11
                               : folder_number_from_index_root(record);
        folder.firstIndexCluster = first_index_cluster(record);
        folder.name = std::move(name->name);
        folder.sector = sector;
        folder.parent = name->parent;
        folder.creationTime = name->creationTime;
        folder.changeTime = name->changeTime;
        folder.deleted = flags == 2;
        hits.folders.push_back(std::move(folder));
    } else if (flags == 0 || flags == 1) {
        FileRecordHit file;
        file.dataSize = find_data_size(record).value_or(0);
        file.name = std::move(name->name);
        file.sector = sector;
        file.parent = name->parent;
        file.creationTime = name->creationTime;
        file.changeTime = name->changeTime;
        file.deleted = flags == 0;
        hits.files.push_back(std::move(file));
    }
}

void decode_index_block_hit(const SectorReader& reader, ByteView firstSector, Lba sector,
                            HitLists& hits) {
    const uint64_t size = index_block_size(firstSector);
    if (size > index_block::kMaxSize)
        return;
    const uint64_t sectors = size / kSectorSize;
    std::vector<uint8_t> block(std::max<uint64_t>(size, kSectorSize), 0);
    reader.read_sectors_or_zeros(sector, static_cast<uint32_t>(sectors), block);
    const auto bytes = std::span<uint8_t>(block).first(size);
    apply_fixup(bytes);
    const uint64_t first = index_block_first_entry(bytes);
    // The first entry's parent must lie in the block.
    if (first + index_entry::kKey + file_name::kParent + 4 > size)
        return;
    // The first entry's parent is the folder whose index this is.
    const uint32_t owner = IndexEntryView{ByteView(bytes).subspan(first)}.parent();
    if (owner < kRootFolderRecord || owner == 0xFFFFFFFF)
        return;
    hits.indexBlocks.push_back(IndexBlockHit{sector, owner,
                                             static_cast<uint32_t>(index_block_vcn(bytes)), -1,
                                             static_cast<uint8_t>(sectors)});
}

void sweep_sectors(const SectorReader& reader, Lba start, uint64_t count, uint32_t batch,
                   HitLists& hits, ProgressSink& progress, StopFlag& stop) {
    stop.store(0);
    batch = std::max<uint32_t>(batch, 1);
    show_counts(progress, hits);
    progress.set_progress(0);
    hits.sweptFrom = start;
    hits.sweptTo = start;

    // Whole batches per read, and spare sectors so that a record at the end of a read is whole.
    const uint64_t batchesPerRead = std::max<uint64_t>(1, kReadSectors / batch);
    constexpr uint64_t kSpare = kRecordSectors - 1;
    std::vector<uint8_t> buffer((batchesPerRead * batch + kSpare) * kSectorSize);
    uint64_t done = 0;
    uint64_t batchCounter = 0;
    size_t shownHits = 0;
    while (stop.load() != 1) {
        const uint64_t batches = std::min(batchesPerRead, (count - done + batch - 1) / batch);
        const uint64_t sectors = batches * batch;
        reader.read_sectors_or_zeros(start + done, static_cast<uint32_t>(sectors + kSpare), buffer);
        for (uint64_t b = 0; b < batches && stop.load() != 1; ++b) {
            progress.set_counter("Current Sector", std::to_string(start + done));
            if (++batchCounter == kBatchesPerUpdate) {
                batchCounter = 0;
                progress.set_progress(static_cast<int>(
                    std::min<uint64_t>(99, done * 100 / std::max<uint64_t>(count, 1))));
                progress.set_status("Reading Sector " + std::to_string(done) + " Of " +
                                    std::to_string(count));
            }
            for (uint64_t i = 0; i < batch; ++i) {
                const uint64_t at = (b * batch + i) * kSectorSize;
                const Lba sector = start + done + i;
                const ByteView bytes(buffer.data() + at, kSectorSize);
                const bool indx = has_index_block_signature(bytes);
                if (indx)
                    hits.indxSectors.push_back(sector);
                if (has_boot_signature(bytes)) {
                    if (has_text_at(bytes, 3, "NTFS"))
                        hits.bootSectors.push_back({sector});
                } else if (has_text_at(bytes, 0, "FILE")) {
                    // The read holds the record's other sectors too (the spare sectors).
                    std::array<uint8_t, kRecordSize> record;
                    std::copy_n(buffer.begin() + static_cast<long>(at), record.size(),
                                record.begin());
                    decode_file_record_hit(record, sector, hits);
                } else if (indx) {
                    decode_index_block_hit(reader, bytes, sector, hits);
                }
            }
            // The counters of what was found, once per batch rather than once per hit.
            const size_t found = hits.bootSectors.size() + hits.files.size() + hits.folders.size() +
                                 hits.indexBlocks.size();
            if (found != shownHits) {
                show_counts(progress, hits);
                shownHits = found;
            }
            done += batch;
            hits.sweptTo = start + done;
            if (done >= count)
                break;
        }
        if (done >= count)
            break;
    }
    stop.store(0);
}

} // namespace salvex
