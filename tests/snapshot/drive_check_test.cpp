// Whether a snapshot meets the drive it was made of: the same disk passes, another disk is
// refused, a disk that has changed a little passes with a warning. The disks are the images
// mkntfs made, damaged by zeroing or patching sectors of a copy.
#include "partition/volume_parameters.h"
#include "snapshot/drive_check.h"
#include "tests/snapshot/snapshot_samples.h"
#include "tests/support/scanned_volume.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex {
namespace {

using namespace test::snapshot_samples;

constexpr SnapshotSelection kPartitionOne{FsType::Ntfs, 0, 0, 0, 1};

// `count` files of the scan, each with its own record, and no folders: every one is sampled.
NtfsScan with_files(const NtfsScan& scan, size_t count) {
    NtfsScan fewer;
    fewer.volume = scan.volume;
    fewer.mftMap = scan.mftMap;
    std::vector<Lba> taken;
    for (const FileNode& f : scan.items.files) {
        if (fewer.items.files.size() == count)
            break;
        if (!f.stream.empty() || f.recordSector == 0 ||
            std::find(taken.begin(), taken.end(), f.recordSector) != taken.end())
            continue;
        taken.push_back(f.recordSector);
        fewer.items.add_file(f);
    }
    EXPECT_EQ(fewer.items.files.size(), count);
    return fewer;
}

std::vector<Lba> record_sectors(const NtfsScan& scan, size_t count) {
    std::vector<Lba> sectors;
    for (size_t i = 0; i < count && i < scan.items.files.size(); ++i)
        sectors.push_back(scan.items.files[i].recordSector);
    return sectors;
}

// A copy of the demo image with `sectors` zeroed. For a record, its first sector: the one that
// carries the "FILE" signature and the names.
std::string demo_without(const std::vector<Lba>& sectors, const std::string& copy = "") {
    return test::damaged_copy("demo", sectors, copy);
}
TEST(DriveCheck, TheSameDiskAgreesOnTheBootSectorAndEverySampledRecord) {
    const auto demo = test::scan_image_partition("demo", 1);
    ASSERT_GT(demo.scan.items.files.size(), kSampledFiles);
    const DriveCheck check = check_snapshot_drive(*demo.reader, demo.scan, kPartitionOne);
    EXPECT_EQ(check.match, DriveMatch::Same) << check.message;
    EXPECT_EQ(check.message, "");
    EXPECT_EQ(check.mismatched, 0u);
    // Sixteen files and the folders whose records the map places.
    EXPECT_GT(check.sampled, kSampledFiles);
    EXPECT_LE(check.sampled, kSampledFiles + kSampledFolders);
}

TEST(DriveCheck, AnotherDiskIsRefusedNamingWhatDidNotMatch) {
    const auto demo = test::scan_image_partition("demo", 1);
    const auto other = test::open_image("ntfs_tree");
    const DriveCheck check = check_snapshot_drive(*other, demo.scan, kPartitionOne);
    EXPECT_EQ(check.match, DriveMatch::Other);
    EXPECT_TRUE(check.message.starts_with("The snapshot does not belong to this drive: "))
        << check.message;

    // The third partition of the same image is another volume at another place.
    const auto third = test::scan_image_partition("demo", 3);
    const DriveCheck moved = check_snapshot_drive(*demo.reader, third.scan, kPartitionOne);
    EXPECT_EQ(moved.match, DriveMatch::Same) << "the same disk holds both volumes";
    NtfsScan misplaced = third.scan;
    misplaced.volume.fsStart = demo.scan.volume.fsStart;
    const DriveCheck wrong = check_snapshot_drive(*demo.reader, misplaced, kPartitionOne);
    EXPECT_EQ(wrong.match, DriveMatch::Other);
    EXPECT_NE(wrong.message.find("the NTFS boot sector at sector 2048 "), std::string::npos)
        << wrong.message;
    EXPECT_NE(wrong.message.find(std::to_string(third.scan.volume.mftStart)), std::string::npos)
        << wrong.message;
}

TEST(DriveCheck, BootSectorOfAnotherLayoutIsRefusedEvenWhenItsBackupIsGone) {
    const auto demo = test::scan_image_partition("demo", 1);
    // A boot sector saying 4 sectors per cluster where mkntfs chose 8; the backup, in the
    // partition's last sector, is zeroed.
    const std::string path = demo_without({2048 + 98304 - 1});
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(2048 * kSectorSize + ntfs_boot::kSectorsPerCluster);
        file.put(4);
    }
    const DriveCheck check =
        check_snapshot_drive(*test::open_image_file(path), demo.scan, kPartitionOne);
    EXPECT_EQ(check.match, DriveMatch::Other);
    EXPECT_NE(check.message.find("gives 4 sectors per cluster, the snapshot's volume 8"),
              std::string::npos)
        << check.message;
}

TEST(DriveCheck, ALostBootSectorLeavesTheDecisionToTheRecords) {
    const auto demo = test::scan_image_partition("demo", 1);
    const std::string path = demo_without({2048, 2048 + 98304 - 1});
    const DriveCheck check =
        check_snapshot_drive(*test::open_image_file(path), demo.scan, kPartitionOne);
    EXPECT_EQ(check.match, DriveMatch::Same) << check.message;

    // A volume inferred from its folders has no $MFT place to compare: a foreign boot sector
    // there does not refuse it either.
    NtfsScan inferred = demo.scan;
    inferred.volume.mftStart = 0;
    inferred.volume.mftMirrorStart = 0;
    inferred.volume.sectorsPerCluster = 4;
    EXPECT_EQ(check_snapshot_drive(*demo.reader, inferred, kPartitionOne).match, DriveMatch::Same);
}

// Eight sampled files: one out of its record is a change, two (a quarter) another disk.
TEST(DriveCheck, FewerThanAQuarterOfTheRecordsChangedWarnsAQuarterRefuses) {
    const auto demo = test::scan_image_partition("demo", 1);
    const NtfsScan eight = with_files(demo.scan, 8);

    const auto one = test::open_image_file(demo_without(record_sectors(eight, 1), "one"));
    const DriveCheck changed = check_snapshot_drive(*one, eight, kPartitionOne);
    EXPECT_EQ(changed.match, DriveMatch::Changed);
    EXPECT_EQ(changed.sampled, 8u);
    EXPECT_EQ(changed.mismatched, 1u);
    EXPECT_TRUE(changed.message.starts_with("The drive has changed since the snapshot was made: "
                                            "1 of 8 items checked is no longer in its record"))
        << changed.message;
    EXPECT_NE(changed.message.find("\"" + eight.items.files[0].name + "\": sector " +
                                   std::to_string(eight.items.files[0].recordSector) +
                                   " holds no file record"),
              std::string::npos)
        << changed.message;

    const auto two = test::open_image_file(demo_without(record_sectors(eight, 2), "two"));
    const DriveCheck other = check_snapshot_drive(*two, eight, kPartitionOne);
    EXPECT_EQ(other.match, DriveMatch::Other);
    EXPECT_EQ(other.mismatched, 2u);
    EXPECT_TRUE(other.message.starts_with("The snapshot does not belong to this drive: 2 of 8 "
                                          "items checked are not in their records here"))
        << other.message;
}

TEST(DriveCheck, ARecordOfAnotherFileIsNamedInTheMessage) {
    const auto demo = test::scan_image_partition("demo", 1);
    // Two files of the user's (mkntfs gives its own files one creation time), records swapped.
    NtfsScan swapped = with_files(demo.scan, 0);
    for (const char* path : {"/Documents/notes.txt", "/Logs/system.log"}) {
        const auto listed = demo.byPath.find(path);
        ASSERT_NE(listed, demo.byPath.end()) << path;
        for (const FileNode& f : demo.scan.items.files) {
            if (f.recordNumber == listed->second.recordNumber && f.stream.empty())
                swapped.items.add_file(f);
        }
    }
    ASSERT_EQ(swapped.items.files.size(), 2u);
    std::swap(swapped.items.files[0].recordSector, swapped.items.files[1].recordSector);
    const DriveCheck check = check_snapshot_drive(*demo.reader, swapped, kPartitionOne);
    EXPECT_EQ(check.match, DriveMatch::Other);
    EXPECT_NE(check.message.find("\"notes.txt\": sector " +
                                 std::to_string(swapped.items.files[0].recordSector) +
                                 " holds the record of \"system.log\""),
              std::string::npos)
        << check.message;
}

TEST(DriveCheck, RenamedItemsAndNamedStreamsStillMatchTheirRecords) {
    const auto demo = test::scan_image_partition("demo", 1);
    NtfsScan scan = with_files(demo.scan, 3);
    std::vector<FileNode>& files = scan.items.files;
    ASSERT_NE(files[0].creationTime, 0u);
    // A rename in the wizard changes the name only: the record's times and parent still tell.
    files[0].name = "renamed in the wizard.txt";
    // A named stream is found through the file part of "file:stream".
    files[1].name += ":summary";
    files[1].stream = "summary";
    for (const FolderNode& f : demo.scan.items.folders) {
        if (f.recordNumber != kRootFolderRecord && f.creationTime != 0) {
            FolderNode renamed = f;
            renamed.name = "renamed folder";
            scan.items.add_folder(renamed, ScanMode::Standard);
            break;
        }
    }
    ASSERT_EQ(scan.items.folders.size(), 1u);
    const DriveCheck check = check_snapshot_drive(*demo.reader, scan, kPartitionOne);
    EXPECT_EQ(check.match, DriveMatch::Same) << check.message;
    EXPECT_EQ(check.sampled, 4u);

    // A stream whose file part is not the record's name is a mismatch.
    files[2].name = "elsewhere.txt:summary";
    files[2].stream = "summary";
    files[2].creationTime = 0;
    EXPECT_EQ(check_snapshot_drive(*demo.reader, scan, kPartitionOne).mismatched, 1u);
}

TEST(DriveCheck, FatVolumesAreNotCompared) {
    const auto demo = test::scan_image_partition("demo", 1);
    NtfsScan fat = demo.scan;
    fat.volume.fsType = FsType::Fat32;
    const auto other = test::open_image("ntfs_tree");
    const DriveCheck check = check_snapshot_drive(*other, fat, kPartitionOne);
    EXPECT_EQ(check.match, DriveMatch::Same);
    EXPECT_EQ(check.sampled, 0u);
}

} // namespace
} // namespace salvex
