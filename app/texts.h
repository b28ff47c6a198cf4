// The sentences the wizard shows, as the user reads them.
#pragma once

namespace salvex::app {

inline constexpr const char* kProductTitle = "Orvanel Salvex NTFS";
inline constexpr const char* kProductVersion = "4.03";
inline constexpr const char* kReleaseDate = "8 December 2026";
inline constexpr const char* kHomePage = "https://salvex.orvanel.example/";

// Quick Help, one text per page and moment.
inline constexpr const char* kChooseDriveHelp =
    "\r\n                1. Select the disk to scan from left pane.\r\n                2. Select "
    "the "
    "scan type.\r\n                3. Click Next Button.";
inline constexpr const char* kNoDriveHelp =
    "\r\n                No readable disk was found. Open a raw disk image with File > Open Disk "
    "Image... or drop an image file on this window, or start salvex with the image as its "
    "argument.";
inline constexpr const char* kChoosePartitionHelp =
    "\r\n                1. Select the partition to recover from left pane or use Search "
    "Partitions for a quick search of missing partitions.\r\n                2. Click Next Button";
inline constexpr const char* kStandardScanHelp =
    "\r\n                Salvex is searching the data of the selected partition, once this process "
    "is completed it will show you the data.";
inline constexpr const char* kSweepHelp =
    "\r\n                Salvex is searching the data in selected range. Once this process is "
    "completed it will show you all the possible                      file systems.";
inline constexpr const char* kChooseFileSystemHelp =
    "\r\n                1. Select the file system to recover from left pane.\r\n                "
    "2. "
    "Click Next Button.";
inline constexpr const char* kBrowseHelp =
    "\r\n                Please select the file(s) and folder(s) to recover from right pane and "
    "copy using   Recover Selected      or                             Recover All options from "
    "the Recovery Menu.\r\n                You can open a file by Double Clicking it.";

// Questions and refusals.
inline constexpr const char* kStopQuestion = "Do you want to stop the current process ?";
inline constexpr const char* kExitQuestion = "Do you really want to exit ?";
inline constexpr const char* kOutOfMemoryMessage =
    "Out of memory, close other applications and run again";
inline constexpr const char* kOpenLogText =
    "here show the technical report of the present data recovery";
inline constexpr const char* kLiveUpdateMissing =
    "Live Update file not found. Please re-install the software.";
inline constexpr const char* kHelpFileMissing = " Orvanel Salvex for NTFS.chm not found";
inline constexpr const char* kLiveUpdateQuestion =
    "The application will be closed if you want to run Live Update of the software. Continue ?";

inline constexpr const char* kBackDiscardsQuestion =
    "Going back discards the folders and files found by this scan; finding them again means "
    "scanning again. (File > Save Recovery Snapshot keeps them.)\r\n\r\nGo back ?";
// Where a Standard Scan leads when it cannot go on.
inline constexpr const char* kNoPartitionQuestion =
    "No partition was found on this drive, not even by the quick search.\r\n\r\nDo you want to "
    "run an Advance Scan of the whole drive ? It reads every sector and finds NTFS volumes "
    "whose partition or boot sector is lost.";
inline constexpr const char* kNoVolumeQuestion =
    "Recovery is not possible in Standard scan: no readable NTFS volume was found in this "
    "partition.\r\n\r\nDo you want to run an Advance Scan of the whole drive ? It reads every "
    "sector and finds NTFS volumes whose boot sector or file table is damaged.";
// %1 and %2: the first and last sector swept.
inline constexpr const char* kNothingFoundMessage =
    "No NTFS file system was found between sectors %1 and %2. Try a wider range, or the whole "
    "drive (click the drive item on the previous page).";
// Files in the program's folder.
inline constexpr const char* kLiveUpdateProgram = "Salvex Live Update.exe";
inline constexpr const char* kHelpFileName = "Orvanel Salvex for NTFS.chm";
inline constexpr const char* kHtmlManualName = "Orvanel Salvex for NTFS.html"; // beside the program

// Recovery.
inline constexpr const char* kChooseTargetTitle = "Please select the path to recover the data";
inline constexpr const char* kSavingTitle = "Saving the data please wait";

// Tooltips of the buttons and toolbar.
inline constexpr const char* kNextTip = "Go to next step";
inline constexpr const char* kBackTip = "Go to previous step";
inline constexpr const char* kStopTip = "Stops the current process";
inline constexpr const char* kSearchTip = "Click here to make a quick search of lost partitions";

} // namespace salvex::app
