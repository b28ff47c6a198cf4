// The state of one run of the wizard: the drives, the open drive, what the scans found, the
// recovery settings and filters, and where the user stands in the wizard. Nothing here knows of
// windows; the main window owns one Session and hands it to each worker explicitly.
#pragma once

#include "advscan/classification.h"
#include "advscan/hit_lists.h"
#include "advscan/sector_range.h"
#include "browse/file_filters.h"
#include "disk/drive_table.h"
#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "ntfs/scan_mode.h"
#include "ntfs/standard_scan.h"
#include "partition/partition_list.h"
#include "recovery/recovery_settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace salvex::app {

// The wizard's pages.
enum Step : int32_t { kChooseDrive = 0, kChoosePartition = 1, kChooseFileSystem = 2, kBrowse = 3 };

struct WizardState {
    int32_t step = kChooseDrive;
    ScanMode scanMode = ScanMode::Unset;
    uint16_t driveIndex = 0;
    FsType selectedFsType = FsType::Unknown;
    uint16_t selectedPartitionIndex = 0;
    Lba rangeStart = 0;
    Lba rangeEnd = 0;
    uint64_t rangeCount = 0;
    StopFlag stopRequested{0};
    bool keyFocusOnTree = false;
    bool driveChosen = false;  // a drive item was clicked on the drive page
    std::string programFolder; // the working folder at start: the help file and the updater
};

// The file-system drop-down of the range page: FAT16, FAT32, NTFS at indexes 0, 1, 2.
FsType fs_type_of_choice(int index);
int choice_of_fs_type(FsType type);

// The values the range page shows when it opens.
struct RangeDefaults {
    int fsChoice = 1;
    Lba start = 0;
    Lba end = 0;
};

// The smallest image taken for a disk: a partition table, a boot sector and a little more. A
// smaller file is something else chosen by mistake.
inline constexpr uint64_t kMinimumImageSectors = 4;

class Session {
public:
    Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Adds the raw image files to the drive table; returns the sentences of those that failed.
    std::vector<std::string> add_images(const std::vector<std::string>& paths);

    const DriveInfo* current_drive() const;
    // Opens the current drive read-only; the sentence that says why not on failure.
    std::optional<std::string> open_current_drive();
    void close_drive();
    bool drive_open() const { return reader.has_device(); }
    // How many of the program's 512-byte sectors make one of the open drive's own sectors: the
    // unit of every sector number the wizard shows and takes.
    uint64_t drive_sector_unit() const;

    // The partition walk of the drive page's Next; false when every walk found nothing.
    bool walk_partitions();
    // The choices of the partition page.
    void select_partition(size_t index);
    void select_whole_drive();
    // The range page's first values, in the drive's own sectors.
    RangeDefaults range_defaults() const;
    // Takes the range typed on the range page (in the drive's own sectors) as the sweep's range,
    // judged against the current drive's size; the sentence that refuses it otherwise, with the
    // state unchanged.
    std::optional<std::string> choose_range(std::string_view startText, std::string_view endText);
    // Sweeps `range` of the open drive, `sectorsPerRead` at a time, and classifies what it found:
    // the hits and the candidates of the file-system page. Stopped by state.stopRequested. Both
    // are taken as the sweep starts: the pages may change the state's range while it runs.
    void sweep(SectorRange range, uint32_t sectorsPerRead, ProgressSink& progress);

    // Forget what the scans found.
    void clear_items();
    void clear_sweep();

    DriveTable drives;
    SectorReader reader{AccessMode::Device};
    PartitionList partitions;
    NtfsScan scan;
    HitLists hits;
    CandidateList candidates;
    uint16_t candidateNumber = 0; // 1-based candidate chosen on the file-system page
    RecoverySettings settings;
    FilterTable filters;
    WizardState state;
};

} // namespace salvex::app
