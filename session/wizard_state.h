// Where a person stands in the wizard: the page, the scan mode, the drive, and the partition or
// sector range chosen. The command line fills the same choices from its options, so that a
// snapshot records them alike.
#pragma once

#include "disk/progress.h"
#include "disk/sector.h"
#include "ntfs/scan_mode.h"
#include "partition/fs_type.h"

#include <cstdint>
#include <string>

namespace salvex {

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
    // The stop flag of every step the session runs: Stop in the wizard, a signal on the command
    // line.
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

} // namespace salvex
