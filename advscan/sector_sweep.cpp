#include "advscan/sector_sweep.h"

#include "ntfs/file_name.h"
#include "ntfs/index_block.h"
#include "ntfs/item_tree.h"
#include "ntfs/mft_record.h"
#include "partition/encrypted_volume.h"

#include <algorithm>
#include <array>
#include <vector>

namespace salvex {

namespace {

// Sectors read per call: whole batches, about 128 KiB, so that the read buffer stays in the
// processor's cache (a buffer of 1 MiB made the sweep take four times as long as reading the
// disk with cat, nearly all of it in the kernel's copy into the buffer).
constexpr uint64_t kReadSectors = 256;
// The status line and the bar move once per this many batches.
constexpr uint64_t kBatchesPerUpdate = 88;

// A read holds this many sectors past its batches, so that a record that starts in its last
// sector is whole in it.
constexpr uint64_t kSpare = kMaxSweptRecordSize / kSectorSize - 1;

void show_counts(ProgressSink& progress, const HitLists& hits) {
    progress.set_counter("Boot Sector(s) Found", std::to_string(hits.bootSectors.size()));
    progress.set_counter("Index Entries Found", std::to_string(hits.indexBlocks.size()));
    progress.set_counter("File(s) Found", std::to_string(hits.files.size()));
    progress.set_counter("Folder(s) Found", std::to_string(hits.folders.size()));
}

} // namespace

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

    // Whole batches per read, and spare sectors so that a record at the end of a read is whole:
    // the spare sectors are kept for the next read, which reads on after them, so that each
    // sector is read once.
    const uint64_t batchesPerRead = std::max<uint64_t>(1, kReadSectors / batch);
    const uint64_t readSectors = batchesPerRead * batch;
    std::vector<uint8_t> buffer((readSectors + kSpare) * kSectorSize);
    uint64_t done = 0;
    uint64_t batchCounter = 0;
    size_t shownHits = 0;
    reader.read_sectors_or_zeros(start, static_cast<uint32_t>(kSpare), buffer);
    while (stop.load() != 1) {
        const uint64_t batches = std::min(batchesPerRead, (count - done + batch - 1) / batch);
        const uint64_t sectors = batches * batch;
        // The spare sectors of the last read, a whole one, begin this one.
        if (done > 0)
            std::copy(buffer.begin() + static_cast<long>(readSectors * kSectorSize), buffer.end(),
                      buffer.begin());
        reader.read_sectors_or_zeros(start + done + kSpare, static_cast<uint32_t>(sectors),
                                     std::span(buffer).subspan(kSpare * kSectorSize));
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
                if (has_boot_signature(bytes) && has_text_at(bytes, 3, "NTFS")) {
                    hits.bootSectors.push_back({sector});
                } else if (is_bitlocker_boot_sector(bytes)) {
                    hits.encryptedVolumes.push_back(sector);
                } else if (has_text_at(bytes, 0, "FILE")) {
                    // The read holds the record's other sectors too (the spare sectors).
                    std::array<uint8_t, kMaxSweptRecordSize> record;
                    const size_t size = swept_record_size(bytes);
                    std::copy_n(buffer.begin() + static_cast<long>(at), size, record.begin());
                    decode_file_record_hit(std::span(record).first(size), sector, hits);
                } else if (indx) {
                    decode_index_block_hit(reader, bytes, sector, hits);
                } else if (const auto kind = content_start(bytes)) {
                    hits.contentStarts.push_back({sector, *kind});
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
