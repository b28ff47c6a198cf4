#include "advscan/reconstruction.h"

#include "advscan/candidate_files.h"
#include "advscan/index_names.h"
#include "advscan/record_hit.h"

#include <array>
#include <map>
#include <vector>

namespace salvex {

namespace {

// Sectors per file record of candidate `number`, as the first file record that can be read
// states it through its update sequence array: its $MFT's first record, the copy in its mirror,
// or a folder record the sweep gave it. Records of 1,024 bytes when none can be read.
uint32_t candidate_record_sectors(const SectorReader& reader, const HitLists& hits,
                                  const VolumeInfo& volume, uint16_t number) {
    std::vector<Lba> places{volume.mftStart, volume.mftMirrorStart};
    for (const FolderRecordHit& hit : hits.folders) {
        if (hit.candidate == static_cast<int16_t>(number)) {
            places.push_back(hit.sector);
            break;
        }
    }
    for (const Lba at : places) {
        std::array<uint8_t, kSectorSize> sector{};
        if (at != 0 && reader.read_sectors(at, 1, sector) && has_file_signature(sector))
            return static_cast<uint32_t>(swept_record_size(sector) / kSectorSize);
    }
    return static_cast<uint32_t>(kSweptRecordSize / kSectorSize);
}

} // namespace

void add_files_found_by_content(const std::vector<CarvedFile>& found, NtfsScan& scan) {
    // Record numbers no volume gives its folders: one folder for all, one beneath it per type.
    constexpr uint32_t kTopRecord = 0xFFFFFF00;
    scan.items.add_folder({.name = kFoundByContentLabel, .recordNumber = kTopRecord},
                          ScanMode::Advance);
    std::map<std::string_view, uint32_t> typeFolders;
    for (const CarvedFile& file : found) {
        const std::string_view type = content_extension(file.kind);
        auto [folder, added] = typeFolders.try_emplace(
            type, kTopRecord + 1 + static_cast<uint32_t>(typeFolders.size()));
        if (added)
            scan.items.add_folder(
                {.name = std::string(type), .recordNumber = folder->second, .parent = kTopRecord},
                ScanMode::Advance);
        FileNode node;
        // Named after the sector it starts at, in the volume's own sectors.
        node.name = "f" + std::to_string(file.start) + "." + std::string(type);
        node.parent = folder->second;
        node.size = file.size;
        node.recordSector = file.start;
        node.contentStart = file.start;
        node.deleted = true; // no live record lists it
        // Its structure was followed whole, from its first byte to its last.
        node.recoverable = 100;
        scan.items.add_file(std::move(node));
    }
}

void reconstruct_candidate(const SectorReader& reader, const HitLists& hits,
                           const CandidateList& candidates, uint16_t number, NtfsScan& scan,
                           ProgressSink& progress, StopFlag& stop) {
    scan = NtfsScan{};
    if (number == 0 || number > candidates.size())
        return;
    scan.volume = volume_of_candidate(candidates[number - 1], number);
    if (candidates[number - 1].foundByContent) {
        add_files_found_by_content(hits.carvedFiles, scan);
        progress.set_status("Creating Tree Structure");
        scan.tree = build_folder_tree(scan.items, progress);
        progress.set_status("");
        return;
    }
    scan.volume.recordSectors = candidate_record_sectors(reader, hits, scan.volume, number);
    progress.set_status("Extracting entries for the file system");

    for (const FolderRecordHit& hit : hits.folders) {
        if (hit.candidate != static_cast<int16_t>(number))
            continue;
        if (hit.mftNumber == kRootFolderRecord || hit.name == ".")
            continue;
        FolderNode folder = item_of<FolderNode>(hit);
        folder.sequence = hit.sequence;
        scan.items.add_folder(std::move(folder), ScanMode::Advance);
    }
    // The map of the $MFT, when the candidate knows where it lies, finds torn records whole.
    if (scan.volume.mftStart != 0)
        scan.mftMap = build_mft_map(reader, scan.volume);
    add_candidate_files(reader, hits, candidates, number, scan);
    // Folders whose records are gone take their names from their parents' index entries.
    add_indexed_folders(reader, hits, candidates[number - 1].start, candidates[number - 1].end,
                        scan.items);
    attach_lost_items(scan.items, scan.lostFolderNumber, ScanMode::Advance, progress, stop);
    stop.store(0);
    progress.set_status("Creating Tree Structure");
    scan.tree = build_folder_tree(scan.items, progress);
    progress.set_progress(0);
    progress.set_status("");
    stop.store(0);
}

} // namespace salvex
