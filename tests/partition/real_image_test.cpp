// The partition walk over disks partitioned by parted and formatted by mkntfs and mkfs.vfat
// (tools/build_images.py; layouts in tests/data/README.md).
#include "partition/gpt.h"
#include "partition/partition_table.h"
#include "partition/sector_size.h"
#include "partition/volume_parameters.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/test_images.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

struct Expected {
    const char* image;
    std::vector<PartitionInfo> partitions; // in 512-byte sectors
    uint32_t sectorSize = 512;             // the drive's, found from the image's content
};

constexpr FsType kFat16 = FsType::Fat16;
constexpr FsType kFat32 = FsType::Fat32;
constexpr FsType kNtfs = FsType::Ntfs;

std::vector<PartitionInfo> many_logical_drives() {
    // 30 logical FAT32 drives of 2,048 sectors, one every 4,096 sectors from 4,096: only the
    // first 25 are listed.
    std::vector<PartitionInfo> list;
    for (uint64_t i = 0; i < kMaxPartitions; ++i)
        list.push_back({4096 + 4096 * i, 2048, kFat32});
    return list;
}

const std::vector<Expected>& expectations() {
    static const std::vector<Expected> all = {
        {"mbr_ntfs_only", {{2048, 28672, kNtfs}}},
        // FAT16, FAT32, NTFS primaries; a Linux partition (0x83) without a file system is not
        // listed.
        {"mbr_primaries", {{2048, 32768, kFat16}, {34816, 69632, kFat32}, {104448, 16384, kNtfs}}},
        // One primary, then three logical drives whose extended boot records parted placed 128
        // sectors before each drive.
        {"mbr_extended",
         {{2048, 16384, kNtfs},
          {20480, 32768, kFat16},
          {55296, 16384, kNtfs},
          {73728, 69632, kFat32}}},
        {"mbr_many_logical", many_logical_drives()},
        // Type 7 holding FAT32 and type 0x83 holding FAT32 are FAT32 by their boot sectors; a
        // blank type 7 is NTFS by its type byte; a blank type 1 in the MBR is not listed.
        {"mbr_type_mismatch",
         {{2048, 69632, kFat32}, {71680, 69632, kFat32}, {141312, 8192, kNtfs}}},
        // The same blank type 1 inside the extended chain is FAT16.
        {"mbr_chain_type1", {{4096, 8192, kFat16}}},
        // The last extended boot record links back to the first: each drive is listed once.
        {"mbr_loop_chain", {{4096, 8192, kNtfs}, {14336, 8192, kNtfs}, {24576, 8192, kNtfs}}},
        // Sector 0 wiped, the table survives in sector 61 with absolute addresses.
        {"mbr_at_61", {{2048, 32768, kNtfs}, {34816, 69632, kFat32}}},
        // GPT: basic data partitions holding NTFS and FAT32; the Linux partition is blank.
        {"gpt_basic", {{2048, 32768, kNtfs}, {34816, 69632, kFat32}}},
        {"gpt_damaged_primary", {{2048, 32768, kNtfs}, {34816, 69632, kFat32}}},
        {"demo", {{2048, 98304, kNtfs}, {100352, 81920, kFat32}, {184320, 49152, kNtfs}}},
        // A basic data partition whose first sector is zeroed: NTFS by its backup boot sector.
        {"gpt_no_boot", {{2048, 40960, kNtfs}}},
        // GPT in 4,096-byte sectors: partition 1 at logical sector 256 (byte 1 MiB), 11,776
        // logical sectors long.
        {"ntfs_4kn_gpt", {{2048, 11776 * 8, kNtfs}}, 4096},
        // MBR whose entry says 256 and 5,632: only in 4,096-byte sectors is there a boot sector.
        {"ntfs_4kn_mbr", {{2048, 5632 * 8, kNtfs}}, 4096},
    };
    return all;
}

TEST(RealImages, EveryImageListsItsFileSystemPartitionsInTableOrderInItsSectorSize) {
    for (const Expected& e : expectations()) {
        SCOPED_TRACE(e.image);
        const auto reader = test::open_image(e.image);
        EXPECT_EQ(reader->reported_sector_size(), 0u); // an image file says nothing
        EXPECT_EQ(drive_sector_size(*reader), e.sectorSize);
        PartitionList list;
        EXPECT_TRUE(list_partitions(*reader, list));
        EXPECT_EQ(list.entries, e.partitions);
    }
}

TEST(RealImages, DamagedGptPrimaryHeaderIsNotTrusted) {
    // The disk GUID inside the primary header was altered after it was written, so its CRC
    // fails; the entries come from the backup header in the last sector.
    const auto reader = test::open_image("gpt_damaged_primary");
    const auto partitions = read_gpt(*reader, reader->total_sectors());
    ASSERT_TRUE(partitions.has_value());
    ASSERT_EQ(partitions->size(), 3u);
    EXPECT_EQ((*partitions)[2].first, 104448u);
    EXPECT_EQ((*partitions)[2].last, 104448u + 16384 - 1);
}

// A damaged copy of gpt_basic: partition 1 is NTFS at 2048..34815 (its backup boot sector in
// 34815), partition 2 FAT32 at 34816..104447, both of type basic data.
PartitionList partitions_of_damaged_gpt(const std::vector<Lba>& zeroed) {
    PartitionList list;
    list_partitions(*test::open_image_file(test::damaged_copy("gpt_basic", zeroed)), list);
    return list;
}

TEST(RealImages, GptNtfsPartitionWithoutItsBootSectorIsListedAndReadFromItsBackup) {
    EXPECT_EQ(partitions_of_damaged_gpt({2048}).entries,
              (std::vector<PartitionInfo>{{2048, 32768, kNtfs}, {34816, 69632, kFat32}}));

    // The volume's parameters, from the backup boot sector, are those of the intact disk.
    const auto damaged = test::open_image_file(test::damaged_copy("gpt_basic", {2048}));
    VolumeInfo fromBackup;
    VolumeInfo fromPrimary;
    ASSERT_TRUE(read_volume_parameters(*damaged, kNtfs, 2048, 34815, fromBackup));
    ASSERT_TRUE(
        read_volume_parameters(*test::open_image("gpt_basic"), kNtfs, 2048, 34815, fromPrimary));
    EXPECT_EQ(fromBackup.fsStart, 2048u);
    EXPECT_NE(fromBackup.mftStart, 0u);
    EXPECT_EQ(fromBackup.mftStart, fromPrimary.mftStart);
    EXPECT_EQ(fromBackup.mftMirrorStart, fromPrimary.mftMirrorStart);
    EXPECT_EQ(fromBackup.sectorsPerCluster, fromPrimary.sectorsPerCluster);
    EXPECT_EQ(fromBackup.indexBlockSectors, fromPrimary.indexBlockSectors);
}

TEST(RealImages, GptVolumeWithoutItsBootSectorIsScannedWhole) {
    const test::ScannedVolume volume = test::scan_image_partition("gpt_no_boot", 1);
    EXPECT_EQ(volume.scan.volume.fsStart, 2048u);
    test::expect_manifest_listed(volume.byPath, "gpt_no_boot.manifest.tsv");
}

TEST(RealImages, GptBasicDataPartitionIsNotNtfsWhenItsBackupIsNot) {
    // The FAT32 volume keeps no boot sector at its end: without its first sector it is not
    // listed, and not taken for NTFS.
    EXPECT_EQ(partitions_of_damaged_gpt({34816}).entries,
              (std::vector<PartitionInfo>{{2048, 32768, kNtfs}}));
    // An NTFS volume that lost both boot sectors.
    EXPECT_EQ(partitions_of_damaged_gpt({2048, 34815}).entries,
              (std::vector<PartitionInfo>{{34816, 69632, kFat32}}));
}

TEST(RealImages, TableInSector61IsFoundOnlyByTheThirdWalk) {
    const auto reader = test::open_image("mbr_at_61");
    PartitionList list;
    walk_partition_table(*reader, 0, list);
    EXPECT_TRUE(list.empty());
    walk_partition_table(*reader, 61, list);
    EXPECT_EQ(list.size(), 2u);
}

} // namespace
} // namespace salvex
