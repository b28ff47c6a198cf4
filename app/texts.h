// The sentences the wizard shows, as the user reads them. Each is written in English and marked
// for the translators (context "Salvex"); translated() gives it in the user's language where it
// is shown. The product's name, its version, its web address and the names of the files in its
// folder are never translated.
#pragma once

#include <QCoreApplication>
#include <QString>

namespace salvex::app {

// The context of the texts that belong to no window of their own.
inline constexpr const char* kTextContext = "Salvex";

// `source` (one of the texts below) in the user's language; as written when no translation of it
// is loaded.
inline QString translated(const char* source) {
    return QCoreApplication::translate(kTextContext, source);
}

inline constexpr const char* kProductTitle = "Orvanel Salvex NTFS";
inline constexpr const char* kProductVersion = "4.03";
inline constexpr const char* kReleaseDate = QT_TRANSLATE_NOOP("Salvex", "8 December 2026");
inline constexpr const char* kHomePage = "https://salvex.orvanel.example/";

// Quick Help, one text per page and moment.
inline constexpr const char* kChooseDriveHelp = QT_TRANSLATE_NOOP(
    "Salvex",
    "\r\n                1. Select the disk to scan from left pane.\r\n                2. Select "
    "the "
    "scan type.\r\n                3. Click Next Button.");
inline constexpr const char* kNoDriveHelp = QT_TRANSLATE_NOOP(
    "Salvex",
    "\r\n                No readable disk was found. Open a raw disk image with File > Open Disk "
    "Image... or drop an image file on this window, or start salvex with the image as its "
    "argument.");
inline constexpr const char* kChoosePartitionHelp = QT_TRANSLATE_NOOP(
    "Salvex",
    "\r\n                1. Select the partition to recover from left pane or use Search "
    "Partitions for a quick search of missing partitions.\r\n                2. Click Next Button");
inline constexpr const char* kStandardScanHelp = QT_TRANSLATE_NOOP(
    "Salvex",
    "\r\n                Salvex is searching the data of the selected partition, once this process "
    "is completed it will show you the data.");
inline constexpr const char* kSweepHelp = QT_TRANSLATE_NOOP(
    "Salvex",
    "\r\n                Salvex is searching the data in selected range. Once this process is "
    "completed it will show you all the possible                      file systems.");
inline constexpr const char* kChooseFileSystemHelp = QT_TRANSLATE_NOOP(
    "Salvex",
    "\r\n                1. Select the file system to recover from left pane.\r\n                "
    "2. "
    "Click Next Button.");
inline constexpr const char* kBrowseHelp = QT_TRANSLATE_NOOP(
    "Salvex",
    "\r\n                Please select the file(s) and folder(s) to recover from right pane and "
    "copy using   Recover Selected      or                             Recover All options from "
    "the Recovery Menu.\r\n                You can open a file by Double Clicking it.");

// Questions and refusals.
inline constexpr const char* kStopQuestion =
    QT_TRANSLATE_NOOP("Salvex", "Do you want to stop the current process ?");
inline constexpr const char* kExitQuestion =
    QT_TRANSLATE_NOOP("Salvex", "Do you really want to exit ?");
inline constexpr const char* kOutOfMemoryMessage =
    QT_TRANSLATE_NOOP("Salvex", "Out of memory, close other applications and run again");
inline constexpr const char* kOpenLogText =
    QT_TRANSLATE_NOOP("Salvex", "here show the technical report of the present data recovery");
inline constexpr const char* kLiveUpdateMissing =
    QT_TRANSLATE_NOOP("Salvex", "Live Update file not found. Please re-install the software.");
inline constexpr const char* kHelpFileMissing =
    QT_TRANSLATE_NOOP("Salvex", " Orvanel Salvex for NTFS.chm not found");
inline constexpr const char* kLiveUpdateQuestion = QT_TRANSLATE_NOOP(
    "Salvex",
    "The application will be closed if you want to run Live Update of the software. Continue ?");

inline constexpr const char* kBackDiscardsQuestion = QT_TRANSLATE_NOOP(
    "Salvex",
    "Going back discards the folders and files found by this scan; finding them again means "
    "scanning again. (File > Save Recovery Snapshot keeps them.)\r\n\r\nGo back ?");
// Where a Standard Scan leads when it cannot go on.
inline constexpr const char* kNoPartitionQuestion = QT_TRANSLATE_NOOP(
    "Salvex",
    "No partition was found on this drive, not even by the quick search.\r\n\r\nDo you want to "
    "run an Advance Scan of the whole drive ? It reads every sector and finds NTFS volumes "
    "whose partition or boot sector is lost.");
inline constexpr const char* kNoVolumeQuestion = QT_TRANSLATE_NOOP(
    "Salvex",
    "Recovery is not possible in Standard scan: no readable NTFS volume was found in this "
    "partition.\r\n\r\nDo you want to run an Advance Scan of the whole drive ? It reads every "
    "sector and finds NTFS volumes whose boot sector or file table is damaged.");
// %1 and %2: the first and last sector swept.
inline constexpr const char* kNothingFoundMessage = QT_TRANSLATE_NOOP(
    "Salvex",
    "No NTFS file system was found between sectors %1 and %2. Try a wider range, or the whole "
    "drive (click the drive item on the previous page).");
// Files in the program's folder.
inline constexpr const char* kLiveUpdateProgram = "Salvex Live Update.exe";
inline constexpr const char* kHelpFileName = "Orvanel Salvex for NTFS.chm";
inline constexpr const char* kHtmlManualName = "Orvanel Salvex for NTFS.html"; // beside the program

// Recovery.
inline constexpr const char* kChooseTargetTitle =
    QT_TRANSLATE_NOOP("Salvex", "Please select the path to recover the data");
inline constexpr const char* kSavingTitle =
    QT_TRANSLATE_NOOP("Salvex", "Saving the data please wait");

// Tooltips of the buttons and toolbar.
inline constexpr const char* kNextTip = QT_TRANSLATE_NOOP("Salvex", "Go to next step");
inline constexpr const char* kBackTip = QT_TRANSLATE_NOOP("Salvex", "Go to previous step");
inline constexpr const char* kStopTip = QT_TRANSLATE_NOOP("Salvex", "Stops the current process");
inline constexpr const char* kSearchTip =
    QT_TRANSLATE_NOOP("Salvex", "Click here to make a quick search of lost partitions");

} // namespace salvex::app
