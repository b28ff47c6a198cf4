#include "partition/crc32.h"
#include "partition/gpt.h"
#include "partition/partition_table.h"
#include "partition/volume_parameters.h"
#include "tests/support/disk_builder.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

using test::DiskBuilder;

constexpr uint64_t kDiskSectors = 4096;

std::unique_ptr<DiskBuilder> gpt_disk() {
    auto disk = std::make_unique<DiskBuilder>(kDiskSectors);
    disk->gpt({{2048, 2559}, {2560, 3071}, {3072, 3583}});
    disk->ntfs_boot(2048).fat32_boot(2560); // the third partition holds no known file system
    return disk;
}

TEST(Crc32, MatchesTheStandardCheckValue) {
    const std::string text = "123456789";
    EXPECT_EQ(crc32(ByteView(reinterpret_cast<const uint8_t*>(text.data()), text.size())),
              0xCBF43926u);
}

TEST(Gpt, PartitionsBehindAProtectiveEntryAreListedByTheirBootSectors) {
    auto disk = gpt_disk();
    const PartitionList list = test::list_built_disk(*disk);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.entries[0], (PartitionInfo{2048, 512, FsType::Ntfs}));
    EXPECT_EQ(list.entries[1], (PartitionInfo{2560, 512, FsType::Fat32}));
}

// A primary header whose CRC fails is replaced by its backup on gpt_damaged_primary, made by
// parted (real_image_test.cpp).
TEST(Gpt, DamagedPrimaryEntryArrayFallsBackToTheBackup) {
    auto disk = gpt_disk();
    disk->device().sector(2)[0x20] ^= 0x01; // first entry's start, not covered by the CRC now
    const PartitionList list = test::list_built_disk(*disk);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.entries[0].start, 2048u);
}

TEST(Gpt, BothCopiesDamagedListsNothing) {
    auto disk = gpt_disk();
    disk->device().sector(1)[0x30] ^= 0xFF;
    disk->device().sector(kDiskSectors - 1)[0x30] ^= 0xFF;
    EXPECT_TRUE(test::list_built_disk(*disk).empty());
}

// A basic data partition at 2048..2559 whose first sector is blank, as a damaged disk has it;
// a second one holding NTFS follows at 2560.
std::unique_ptr<DiskBuilder> blank_basic_data_disk() {
    auto disk = std::make_unique<DiskBuilder>(kDiskSectors);
    disk->gpt({{2048, 2559}, {2560, 3071}}, kBasicDataGuid);
    disk->ntfs_boot(2560).le64(2560, ntfs_boot::kTotalSectors, 511);
    return disk;
}

TEST(Gpt, BasicDataPartitionWithoutItsBootSectorIsNtfsByItsBackup) {
    // The backup in the partition's last sector, as formatting leaves it.
    auto disk = blank_basic_data_disk();
    disk->ntfs_boot(2559).le64(2559, ntfs_boot::kTotalSectors, 511);
    PartitionList list = test::list_built_disk(*disk);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.entries[0], (PartitionInfo{2048, 512, FsType::Ntfs}));

    // A partition no larger than its volume: the backup lies in the sector after it.
    disk = std::make_unique<DiskBuilder>(kDiskSectors);
    disk->gpt({{2048, 2558}}, kBasicDataGuid);
    disk->ntfs_boot(2559).le64(2559, ntfs_boot::kTotalSectors, 511);
    list = test::list_built_disk(*disk);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.entries[0], (PartitionInfo{2048, 511, FsType::Ntfs}));
}

TEST(Gpt, BlankPartitionIsNotTakenForNtfsByWhatLiesAroundIt) {
    // Nothing at its end; right after it the next volume's own boot sector, whose size does
    // not lead back to 2048.
    auto disk = blank_basic_data_disk();
    PartitionList list = test::list_built_disk(*disk);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.entries[0].start, 2560u);

    // An NTFS boot sector at its end that belongs to a volume of another size.
    disk = blank_basic_data_disk();
    disk->ntfs_boot(2559).le64(2559, ntfs_boot::kTotalSectors, 100);
    EXPECT_EQ(test::list_built_disk(*disk).size(), 1u);

    // A sound backup, but the type GUID is not basic data (here: any other type).
    disk = std::make_unique<DiskBuilder>(kDiskSectors);
    disk->gpt({{2048, 2559}});
    disk->ntfs_boot(2559).le64(2559, ntfs_boot::kTotalSectors, 511);
    EXPECT_TRUE(test::list_built_disk(*disk).empty());
}

TEST(Gpt, OversizedEntryArrayIsRefusedNotRead) {
    auto disk = gpt_disk();
    disk->le32(1, gpt_header::kEntryCount, 0xFFFFFFFF);
    disk->le32(1, gpt_header::kHeaderCrc, 0);
    disk->le32(1, gpt_header::kHeaderCrc, crc32(ByteView(disk->device().sector(1), 92)));
    SectorReader reader(AccessMode::Device);
    reader.open_device(disk->build());
    const auto partitions = read_gpt(reader, kDiskSectors);
    ASSERT_TRUE(partitions.has_value()); // the backup is sound
    EXPECT_EQ(partitions->size(), 3u);
}

} // namespace
} // namespace salvex
