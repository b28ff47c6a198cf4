#include "ntfs/standard_scan.h"

#include "ntfs/attribute_list.h"
#include "ntfs/mft_record.h"
#include "ntfs/mft_record_stream.h"
#include "ntfs/record_items.h"
#include "partition/volume_parameters.h"

#include <algorithm>
#include <array>
#include <map>

namespace salvex {

namespace {

// A record's bytes: as many as the volume's records have.
using Record = std::vector<uint8_t>;

// The records of one item beyond its base record, read once each while the item is decoded.
class RecordFetcher {
public:
    RecordFetcher(const SectorReader& reader, const MftMap& map) : reader_(reader), map_(map) {}

    // The fixed-up record n; nullptr when it lies beyond the map or is not a file record.
    const Record* fetch(uint32_t n) {
        const auto [it, inserted] = cache_.try_emplace(n);
        if (inserted) {
            Record& record = it->second.record;
            record.assign(map_.record_bytes(), 0);
            it->second.valid = read_mft_record(reader_, map_, n, record) &&
                               has_file_signature(record) && (apply_fixup(record), true);
        }
        return it->second.valid ? &it->second.record : nullptr;
    }
    void clear() { cache_.clear(); }

private:
    struct Entry {
        Record record;
        bool valid = false;
    };
    const SectorReader& reader_;
    const MftMap& map_;
    std::map<uint32_t, Entry> cache_;
};

// Decodes one base record, with the extension records that belong to it, into the item lists.
// Returns the name of the last item added; empty when the record names no item.
std::string decode_record(const Record& record, uint32_t number, const SectorReader& reader,
                          NtfsScan& scan, RecordFetcher& fetcher) {
    if (is_extension_record(record))
        return {}; // part of another item
    const RecordList list = collect_record_list(record, number, reader, scan.volume);
    fetcher.clear();
    ItemRecords item;
    item.number = number;
    item.sequence = record_sequence(record);
    for (size_t j = 0; j < list.size(); ++j) {
        const Record* r = j == 0 ? &record : fetcher.fetch(static_cast<uint32_t>(list[j].record));
        // An extension record counts only when it names this record, as it is now, as its base.
        if (j > 0 && r && !belongs_to(*r, list[j], {number, item.sequence}))
            r = nullptr;
        item.records.push_back(r ? ByteView(*r) : ByteView());
        item.sectors.push_back(scan.mftMap.record_to_sector(list[j].record));
    }
    const uint8_t flags = record[mft_record::kFlags];
    const bool folder = record_flags::is_folder(flags);
    const bool deleted = record_flags::is_deleted(flags);
    return add_record_items(item, folder, deleted, scan.items);
}

void show_found(ProgressSink& progress, const NtfsScan& scan, const std::string& lastName,
                uint64_t done, uint64_t total) {
    progress.set_counter("Folder(s) Found", std::to_string(scan.items.folder_count()));
    progress.set_counter("File(s) Found", std::to_string(scan.items.file_count()));
    progress.set_counter("Last File/Folder", lastName);
    progress.set_progress(static_cast<int>(std::min<uint64_t>(99, done * 100 / total)));
    progress.set_status("Reading Sector " + std::to_string(done) + " Of " + std::to_string(total));
}

// The record loop, over a volume whose parameters are known and whose last sector is
// `lastSector`: fills scan.mftMap, scan.items and scan.tree.
void scan_records(const SectorReader& reader, NtfsScan& scan, ProgressSink& progress,
                  StopFlag& stop, Lba lastSector, RecordObserver* observer) {
    scan.items.clear();
    scan.tree.reset();
    scan.lostFolderNumber = 0;
    stop.store(0);
    scan.mftMap = build_mft_map(reader, scan.volume, lastSector);
    progress.set_progress(0);
    if (observer)
        observer->map_ready(reader, scan.volume, scan.mftMap);

    const uint64_t total = scan.mftMap.total_sectors();
    RecordFetcher fetcher(reader, scan.mftMap);
    MftRecordStream stream(reader, scan.mftMap);
    Lba shownSector = 0;
    stream.each(stop, [&](Record& record, uint64_t number, Lba chunk) {
        if (chunk != shownSector) {
            progress.set_counter("Current Sector", std::to_string(chunk));
            shownSector = chunk;
        }
        const SlotRecord judged = fix_up_slot(reader, scan.volume, number, record);
        if (judged == SlotRecord::None)
            return;
        if (observer)
            observer->take(record, number, judged);
        const std::string name =
            decode_record(record, static_cast<uint32_t>(number), reader, scan, fetcher);
        if (!name.empty())
            show_found(progress, scan, name, (number + 1) * scan.mftMap.record_sectors(), total);
    });
    if (observer && stop.load() != 1)
        observer->table_read();

    stop.store(0);
    progress.set_progress(0);
    attach_lost_items(scan.items, scan.lostFolderNumber, ScanMode::Standard, progress, stop);
    stop.store(0);
    progress.set_progress(0);
    progress.set_status("Creating Directory Tree");
    scan.tree = build_folder_tree(scan.items, progress);
    progress.set_progress(0);
    progress.set_status("");
}

} // namespace

ScanOutcome standard_scan(const SectorReader& reader, Lba start, Lba end, NtfsScan& scan,
                          ProgressSink& progress, StopFlag& stop, RecordObserver* observer) {
    scan.volume = VolumeInfo{};
    const bool found = read_volume_parameters(reader, FsType::Ntfs, start, end, scan.volume);
    if (!found) {
        progress.set_status("Calculating partition parameters");
        progress.set_status("");
        const bool stopped = stop.load() == 1;
        stop.store(0);
        return stopped ? ScanOutcome::Stopped : ScanOutcome::NoVolume;
    }
    stop.store(0);
    // The partition's last sector bounds what the volume's structures may claim.
    scan_records(reader, scan, progress, stop, end, observer);
    stop.store(0);
    // Neither $MFT nor its mirror gave a usable map, or the map holds no item: the volume was
    // found but this scan cannot read it.
    if (scan.mftMap.empty() || (scan.items.folders.empty() && scan.items.files.empty()))
        return ScanOutcome::NoItems;
    return ScanOutcome::Completed;
}

const char* scan_outcome_message(ScanOutcome outcome) {
    switch (outcome) {
    case ScanOutcome::Completed:
        return kTryAdvanceScanMessage;
    case ScanOutcome::Stopped:
        return kScanAbortedMessage;
    case ScanOutcome::NoVolume:
    case ScanOutcome::NoItems:
        break;
    }
    return kScanImpossibleMessage;
}

} // namespace salvex
