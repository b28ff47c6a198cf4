// The Standard Scan: mounts an NTFS partition through its boot sector, reads every record of
// its Master File Table in order, lists each folder and file (deleted ones included, as their
// records survive with the in-use flag cleared), gives orphans made-up folders and builds the
// folder tree.
#pragma once

#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "ntfs/folder_tree.h"
#include "ntfs/item_tree.h"
#include "ntfs/mft_map.h"
#include "ntfs/record_observer.h"
#include "partition/volume_info.h"

#include <unordered_map>
#include <vector>

namespace salvex {

// What a scan leaves for browsing and recovery.
struct NtfsScan {
    VolumeInfo volume;
    MftMap mftMap;
    NtfsItems items;
    FolderTree tree;
    uint32_t lostFolderNumber = 0;
    // Advance Scan: the sectors of the extension records the sweep found in the volume, by the
    // number of the base record they name. A candidate without a map of its $MFT finds the runs
    // that a file continues in its extension records through them.
    std::unordered_map<uint32_t, std::vector<Lba>> extensionRecords;
};

enum class ScanOutcome {
    Completed, // the items are listed (a stopped scan lists what it found before Stop)
    NoVolume,  // no usable boot sector, or neither $MFT nor $MFTMirr confirmed: nothing listed
    NoItems,   // the volume was found, but its Master File Table gave no map or no item
    Stopped,   // stopped before the volume was found: nothing listed
};

// Texts the scan shows.
inline constexpr const char* kScanImpossibleMessage =
    "Recovery is not possible in Standard scan, use Sdvance scan";
inline constexpr const char* kScanAbortedMessage = "Recovery procedure aborted by user";
inline constexpr const char* kTryAdvanceScanMessage =
    "If you don't find your file(s) or folder(s) here, you can use \"Advance scan\"";

// Scans the NTFS partition from `start` to `end` (its last sector). Reports its steps through
// `progress` and ends the record loop when `stop` becomes 1; the flag is cleared when the scan
// ends. Hands every record the loop reads to `observer`, when given, as it reads it. Says why it
// failed by its outcome, not through `progress`: scan_outcome_message gives the sentence.
ScanOutcome standard_scan(const SectorReader& reader, Lba start, Lba end, NtfsScan& scan,
                          ProgressSink& progress, StopFlag& stop,
                          RecordObserver* observer = nullptr);

// What a person is told after a scan of that outcome: the failure, or after a completed scan
// the hint that the Advance Scan finds more.
const char* scan_outcome_message(ScanOutcome outcome);

} // namespace salvex
