// The volume a recovery reads, from a partition, a swept candidate or a snapshot: the demo disk
// (NTFS partition 1 at 2048, FAT32 partition 2, a lost NTFS volume at 233472).
#include "disk/block_device.h"
#include "partition/partition_table.h"
#include "snapshot/snapshot_writer.h"
#include "snapshot/volume_source.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/test_images.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace salvex {
namespace {

// The paths of every item a scan lists.
std::set<std::string> paths_of(const NtfsScan& scan) {
    std::set<std::string> paths;
    for (const auto& [path, item] : test::items_by_path(scan))
        paths.insert(path);
    return paths;
}

PartitionList partitions_of(const SectorReader& reader) {
    PartitionList list;
    list_partitions(reader, list);
    return list;
}

TEST(VolumeSource, APartitionIsScannedAndRecordedAsChosen) {
    const auto reader = test::open_image("demo");
    const PartitionList partitions = partitions_of(*reader);
    test::RecordingProgress progress;
    StopFlag stop{0};
    const auto volume = scan_partition_volume(*reader, partitions, 1, progress, stop);
    ASSERT_TRUE(volume) << volume.error();
    EXPECT_EQ(paths_of(volume->scan), paths_of(test::scan_image_partition("demo", 1).scan));
    EXPECT_EQ(volume->selection, (SnapshotSelection{FsType::Ntfs, 2048, 98304, 2048 + 98303, 0}));
}

TEST(VolumeSource, PartitionsThatCannotBeScannedAreRefusedWithTheirSentence) {
    const auto reader = test::open_image("demo");
    const PartitionList partitions = partitions_of(*reader);
    test::RecordingProgress progress;
    StopFlag stop{0};
    const auto none = scan_partition_volume(*reader, partitions, 0, progress, stop);
    EXPECT_EQ(none.error(),
              "There is no partition 0; the drive has " + std::to_string(partitions.size()) + ".");
    EXPECT_EQ(none.code(), ErrorCode::NotFound);
    EXPECT_EQ(scan_partition_volume(*reader, partitions, 9, progress, stop).error(),
              no_such_partition_message(9, partitions.size()));
    const auto fat = scan_partition_volume(*reader, partitions, 2, progress, stop);
    EXPECT_EQ(fat.error(), kFatPartitionMessage);
    EXPECT_EQ(fat.code(), ErrorCode::NotNtfs);

    // Both boot sectors of partition 1 gone: the scan's own sentence is the refusal, and it is
    // not said a second time through the progress sink.
    const std::string damaged = test::damaged_copy("demo", {2048, 2048 + 98303});
    SectorReader damagedReader(AccessMode::Device);
    damagedReader.open_device(FileDevice::open(damaged).value());
    const auto refused = scan_partition_volume(damagedReader, partitions, 1, progress, stop);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), kScanImpossibleMessage);
    EXPECT_EQ(refused.code(), ErrorCode::NotNtfs);
    // Stopped before the volume was found.
    StopFlag stopped{1};
    EXPECT_EQ(scan_partition_volume(damagedReader, partitions, 1, progress, stopped).code(),
              ErrorCode::Stopped);
    for (const auto& message : progress.messages)
        EXPECT_NE(message.kind, MessageKind::Error) << message.text;
}

TEST(VolumeSource, ASweptCandidateIsReconstructedAndRecordedAsItsRange) {
    const auto reader = test::open_image("demo");
    SilentProgress progress;
    StopFlag stop{0};
    const SectorRange lost{233472, 262144};
    const auto volume = scan_candidate_volume(*reader, lost, 60, 1, progress, stop);
    ASSERT_TRUE(volume) << volume.error();
    EXPECT_EQ(volume->scan.volume.fsStart, 233472u);
    EXPECT_TRUE(test::items_by_path(volume->scan).count("/letter.txt"));
    EXPECT_EQ(volume->selection, (SnapshotSelection{FsType::Ntfs, 233472, 28672, 262144, 0}));

    EXPECT_EQ(scan_candidate_volume(*reader, lost, 60, 2, progress, stop).error(),
              "There is no candidate 2; the sweep found 1.");
}

TEST(VolumeSource, ASnapshotGivesBackTheVolumeAndItsChoice) {
    const auto reader = test::open_image("demo");
    const PartitionList partitions = partitions_of(*reader);
    SilentProgress progress;
    StopFlag stop{0};
    const auto scanned = scan_partition_volume(*reader, partitions, 1, progress, stop);
    ASSERT_TRUE(scanned) << scanned.error();
    const std::string file = test::temp_path("demo.QRSX");
    ASSERT_TRUE(save_snapshot(file, scanned->selection, scanned->scan.volume, scanned->scan.items,
                              test::image_path("demo")));

    const auto loaded = load_snapshot_volume(file, *reader, progress);
    ASSERT_TRUE(loaded) << loaded.error();
    EXPECT_EQ(loaded->selection, scanned->selection);
    EXPECT_TRUE(loaded->warning.empty()) << loaded->warning;
    EXPECT_EQ(paths_of(loaded->scan), paths_of(scanned->scan));

    std::ofstream(file + ".bad") << "QRS4.03"
                                 << "1.1";
    const auto refused = load_snapshot_volume(file + ".bad", *reader, progress);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("version of file does not match"), std::string::npos);
}

} // namespace
} // namespace salvex
