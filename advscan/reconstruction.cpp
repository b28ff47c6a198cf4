#include "advscan/reconstruction.h"

namespace salvex {

void reconstruct_candidate(const SectorReader& reader, const HitLists& hits,
                           const CandidateList& candidates, uint16_t number, NtfsScan& scan,
                           ProgressSink& progress, StopFlag& stop) {
    scan = NtfsScan{};
    if (number == 0 || number > candidates.size())
        return;
    scan.volume = volume_of_candidate(candidates[number - 1], number);
    progress.set_status("Extracting entries for the file system");

    for (const FolderRecordHit& hit : hits.folders) {
        if (hit.candidate != static_cast<int16_t>(number))
            continue;
        if (hit.mftNumber == kRootFolderRecord || hit.name == ".")
            continue;
        FolderNode folder;
        folder.name = hit.name;
        folder.recordNumber = hit.mftNumber;
        folder.parent = hit.parent;
        folder.creationTime = hit.creationTime;
        folder.changeTime = hit.changeTime;
        folder.deleted = hit.deleted;
        scan.items.add_folder(std::move(folder), ScanMode::Advance);
    }
    // The files of a candidate are those its sector range holds.
    for (const FileRecordHit& hit : hits.files) {
        if (hit.sector <= scan.volume.fsStart || hit.sector > scan.volume.fsEnd)
            continue;
        FileNode file;
        file.name = hit.name;
        file.recordNumber = hit.mftNumber;
        file.parent = hit.parent;
        file.creationTime = hit.creationTime;
        file.changeTime = hit.changeTime;
        file.size = hit.dataSize;
        file.deleted = hit.deleted;
        file.recordSector = hit.sector;
        scan.items.add_file(std::move(file));
    }

    if (scan.volume.mftStart != 0)
        scan.mftMap = build_mft_map(reader, scan.volume);
    attach_lost_items(scan.items, scan.lostFolderNumber, ScanMode::Advance, progress, stop);
    stop.store(0);
    progress.set_status("Creating Tree Structure");
    scan.tree = build_folder_tree(scan.items, progress);
    progress.set_progress(0);
    progress.set_status("");
    stop.store(0);
}

} // namespace salvex
