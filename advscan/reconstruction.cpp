#include "advscan/reconstruction.h"

namespace salvex {

namespace {

// An item with what its record's hit says of it.
template <class Node, class Hit>
Node item_of(const Hit& hit) {
    Node node;
    node.name = hit.name;
    node.recordNumber = hit.mftNumber;
    node.parent = hit.parent;
    node.creationTime = hit.creationTime;
    node.changeTime = hit.changeTime;
    node.deleted = hit.deleted;
    return node;
}

} // namespace

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
        scan.items.add_folder(item_of<FolderNode>(hit), ScanMode::Advance);
    }
    // The files of a candidate are those its sector range holds.
    for (const FileRecordHit& hit : hits.files) {
        if (hit.sector <= scan.volume.fsStart || hit.sector > scan.volume.fsEnd)
            continue;
        FileNode file = item_of<FileNode>(hit);
        file.size = hit.dataSize;
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
