#include "ntfs/standard_scan.h"

#include "ntfs/attribute_list.h"
#include "ntfs/file_name.h"
#include "ntfs/mft_record.h"
#include "partition/volume_parameters.h"

#include <algorithm>
#include <array>
#include <map>

namespace salvex {

namespace {

using Record = std::array<uint8_t, mft_record::kSize>;

// Records are read in runs of this many sectors; each record is then judged on its own.
constexpr uint64_t kSectorsPerRead = 128;

enum RecordFlags : uint8_t {
    kDeletedFile = 0,
    kDeletedFolder = 2,
    kFolder = 3,
};

// The records of one item beyond its base record, read once each while the item is decoded.
class RecordFetcher {
public:
    RecordFetcher(const SectorReader& reader, const MftMap& map) : reader_(reader), map_(map) {}

    // The fixed-up record n; nullopt when it lies beyond the map or is not a file record.
    const Record* fetch(uint32_t n) {
        const auto [it, inserted] = cache_.try_emplace(n);
        if (inserted) {
            Record& record = it->second.record;
            record.fill(0);
            const Lba at = map_.record_to_sector(n);
            it->second.valid =
                at != 0 && reader_.read_sectors(at, 2, record) && has_file_signature(record);
            if (it->second.valid)
                apply_fixup(record);
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

// A folder or file node with what its $FILE_NAME says.
template <class Node>
Node item_named(FileNameInfo&& name, uint32_t number, bool deleted) {
    Node node;
    node.name = std::move(name.name);
    node.recordNumber = number;
    node.parent = name.parent;
    node.creationTime = name.creationTime;
    node.changeTime = name.changeTime;
    node.deleted = deleted;
    return node;
}

// Decodes one file record into the item lists; false when it names no item.
bool decode_record(const Record& record, uint32_t number, const SectorReader& reader,
                   NtfsScan& scan, RecordFetcher& fetcher, std::string& lastName) {
    if (is_extension_record(record))
        return false; // an extension record: part of another item
    const RecordList records = collect_record_list(record, number, reader, scan.volume);
    fetcher.clear();
    const auto holder = [&](size_t j) -> const Record* {
        return j == 0 ? &record : fetcher.fetch(records[j]);
    };

    std::optional<FileNameInfo> name;
    for (size_t j = 0; j < records.size() && !name; ++j) {
        if (const Record* r = holder(j))
            name = find_display_name(*r);
    }
    if (!name)
        return false;

    const uint8_t flags = record[mft_record::kFlags];
    if (flags == kFolder || flags == kDeletedFolder) {
        if (name->name == ".")
            return false; // the root folder's own record
        FolderNode folder =
            item_named<FolderNode>(std::move(*name), number, flags == kDeletedFolder);
        lastName = folder.name;
        scan.items.add_folder(std::move(folder), ScanMode::Standard);
        return true;
    }

    FileNode file = item_named<FileNode>(std::move(*name), number, flags == kDeletedFile);
    size_t stoppedAt = records.size() - 1;
    for (size_t k = 0; k < records.size(); ++k) {
        const Record* r = holder(k);
        const auto size = r ? find_data_size(*r) : std::nullopt;
        if (size) {
            file.size = *size;
            stoppedAt = k;
            break;
        }
    }
    file.recordSector = scan.mftMap.record_to_sector(records[stoppedAt]);
    lastName = file.name;
    scan.items.add_file(std::move(file));
    return true;
}

} // namespace

void standard_scan_body(const SectorReader& reader, NtfsScan& scan, ProgressSink& progress,
                        StopFlag& stop) {
    scan.items.clear();
    scan.tree.reset();
    scan.lostFolderNumber = 0;
    stop.store(0);
    scan.mftMap = build_mft_map(reader, scan.volume);
    progress.set_progress(0);

    const uint64_t total = scan.mftMap.total_sectors();
    uint64_t done = 0;
    uint64_t number = 0;
    // One spare sector: a record that starts in an extent's last sector takes the next one too.
    std::vector<uint8_t> chunk((kSectorsPerRead + 1) * kSectorSize);
    RecordFetcher fetcher(reader, scan.mftMap);
    std::string lastName;

    for (const MftExtent& extent : scan.mftMap.extents()) {
        for (uint64_t i = 0; i < extent.sectors && stop.load() != 1;) {
            const uint64_t sectors = std::min(kSectorsPerRead, extent.sectors - i);
            // A sparse extent holds no records; a sector that cannot be read is judged as zeros,
            // never as what the buffer held before (which would list a record twice).
            std::fill(chunk.begin(), chunk.end(), uint8_t{0});
            if (extent.start != 0)
                reader.read_sectors(extent.start + i,
                                    static_cast<uint32_t>(sectors + (sectors & 1)), chunk);
            progress.set_counter("Current Sector", std::to_string(extent.start + i));
            for (uint64_t at = 0; at < sectors && stop.load() != 1; at += 2, ++number) {
                done += 2;
                Record record{};
                std::copy_n(chunk.begin() + static_cast<long>(at * kSectorSize), record.size(),
                            record.begin());
                if (!has_file_signature(record))
                    continue;
                apply_fixup(record);
                if (!decode_record(record, static_cast<uint32_t>(number), reader, scan, fetcher,
                                   lastName))
                    continue;
                progress.set_counter("Folder(s) Found", std::to_string(scan.items.folder_count()));
                progress.set_counter("File(s) Found", std::to_string(scan.items.file_count()));
                progress.set_counter("Last File/Folder", lastName);
                progress.set_progress(static_cast<int>(std::min<uint64_t>(99, done * 100 / total)));
                progress.set_status("Reading Sector " + std::to_string(done) + " Of " +
                                    std::to_string(total));
            }
            i += sectors;
        }
    }

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

ScanOutcome standard_scan(const SectorReader& reader, Lba start, Lba end, NtfsScan& scan,
                          ProgressSink& progress, StopFlag& stop) {
    scan.volume = VolumeInfo{};
    const bool found = read_volume_parameters(reader, FsType::Ntfs, start, end, scan.volume);
    if (!found) {
        progress.set_status("Calculating partition parameters");
        progress.set_status("");
        progress.show_message(stop.load() == 1 ? kScanAbortedMessage : kScanImpossibleMessage,
                              MessageKind::Error);
        stop.store(0);
        return ScanOutcome::NoVolume;
    }
    stop.store(0);
    standard_scan_body(reader, scan, progress, stop);
    progress.show_message(kTryAdvanceScanMessage, MessageKind::Information);
    stop.store(0);
    return ScanOutcome::Completed;
}

} // namespace salvex
