// The partition table walk over disks built byte by byte, for what parted cannot make: boot
// sectors that contradict their type bytes, unreadable sectors, the order of the table reads.
#include "partition/partition_table.h"
#include "tests/support/disk_builder.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

using test::DiskBuilder;
using test::MemoryDevice;

PartitionList walk(DiskBuilder& disk, Lba table = 0) {
    SectorReader reader(AccessMode::Device);
    reader.open_device(disk.build());
    PartitionList list;
    walk_partition_table(reader, table, list);
    return list;
}

TEST(PartitionWalk, NtfsPrimaryAtSector63) {
    DiskBuilder disk(200);
    disk.entry(0, 0, 0x07, 63, 100).ntfs_boot(63);
    const PartitionList list = walk(disk);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.entries[0], (PartitionInfo{63, 100, FsType::Ntfs}));
    EXPECT_EQ(partition_item_text(1, list.entries[0].type), "Partition 1 - NTFS");
    EXPECT_EQ(list.entries[0].end(), 162u);
}

TEST(PartitionWalk, BootSectorTextWinsOverTheTypeByte) {
    DiskBuilder disk(400);
    disk.entry(0, 0, 0x83, 10, 20).fat32_boot(10); // Linux type, FAT32 boot sector
    disk.entry(0, 1, 0x07, 40, 20).fat16_boot(40); // NTFS type, FAT16 boot sector
    disk.entry(0, 2, 0x07, 70, 20);                // blank boot sector: by type byte
    disk.entry(0, 3, 0x01, 100, 20);               // type 1, blank: not listed in the MBR
    const PartitionList list = walk(disk);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.entries[0].type, FsType::Fat32);
    EXPECT_EQ(list.entries[1].type, FsType::Fat16);
    EXPECT_EQ(list.entries[2], (PartitionInfo{70, 20, FsType::Ntfs}));
}

TEST(PartitionWalk, TypeBytesStandInForUnrecognisedBootSectors) {
    const std::vector<uint8_t> blank(512, 0);
    EXPECT_EQ(classify_partition(blank, 0x04, TableLevel::Mbr), FsType::Fat16);
    EXPECT_EQ(classify_partition(blank, 0x06, TableLevel::Mbr), FsType::Fat16);
    EXPECT_EQ(classify_partition(blank, 0x0E, TableLevel::Mbr), FsType::Fat16);
    EXPECT_EQ(classify_partition(blank, 0x0B, TableLevel::Mbr), FsType::Fat32);
    EXPECT_EQ(classify_partition(blank, 0x0C, TableLevel::Mbr), FsType::Fat32);
    EXPECT_EQ(classify_partition(blank, 0x07, TableLevel::Chain), FsType::Ntfs);
    EXPECT_EQ(classify_partition(blank, 0x01, TableLevel::Mbr), std::nullopt);
    EXPECT_EQ(classify_partition(blank, 0x01, TableLevel::Chain), FsType::Fat16);
    for (const int other : {0x05, 0x0F, 0x82, 0x83, 0xA5, 0xEE})
        EXPECT_EQ(classify_partition(blank, static_cast<uint8_t>(other), TableLevel::Mbr),
                  std::nullopt)
            << other;
}

TEST(PartitionWalk, UnreadableBootSectorIsJudgedByItsTypeByteAlone) {
    // The first partition's boot sector says FAT32; the second one cannot be read. It must not
    // inherit the first one's text.
    DiskBuilder disk(400);
    disk.entry(0, 0, 0x0C, 10, 20).fat32_boot(10);
    disk.entry(0, 1, 0x07, 40, 20).ntfs_boot(40);
    disk.device().fail_sector(40);
    disk.entry(0, 2, 0x83, 70, 20).ntfs_boot(70);
    disk.device().fail_sector(70);
    const PartitionList list = walk(disk);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.entries[1], (PartitionInfo{40, 20, FsType::Ntfs}));
}

TEST(PartitionWalk, TableWithoutBothSignatureBytesListsNothing) {
    DiskBuilder disk(200);
    disk.entry(0, 0, 0x07, 63, 100).ntfs_boot(63);
    disk.device().sector(0)[511] = 0x00;
    EXPECT_TRUE(walk(disk).empty());
}

// The chain's numbering, its end at 25 partitions or at a repeated link, a blank type 1 in it and
// a table found in sector 61 are walked on the disks parted made (real_image_test.cpp).

TEST(PartitionWalk, UnreadableExtendedRecordEndsTheChain) {
    DiskBuilder disk(3000);
    disk.entry(0, 0, 0x0F, 1000, 1500);
    disk.entry(1000, 0, 0x07, 63, 100).ntfs_boot(1063);
    disk.entry(1000, 1, 0x05, 500, 500);
    disk.device().fail_sector(1500);
    EXPECT_EQ(walk(disk).size(), 1u);
}

TEST(ListPartitions, TriesSectorZeroTwiceThen61Then62) {
    DiskBuilder at62(400);
    at62.entry(62, 0, 0x07, 100, 50).ntfs_boot(100);
    MemoryDevice& device = at62.device();
    SectorReader reader(AccessMode::Device);
    reader.open_device(at62.build());
    PartitionList list;
    // At a known sector size only the tables are read below the partition.
    EXPECT_TRUE(list_partitions(reader, list, 512));
    ASSERT_EQ(list.size(), 1u);
    std::vector<uint64_t> tableReads;
    for (const auto& r : device.reads()) {
        if (r.offset / 512 < 100)
            tableReads.push_back(r.offset / 512);
    }
    EXPECT_EQ(tableReads, (std::vector<uint64_t>{0, 0, 61, 62}));

    DiskBuilder blank(400);
    EXPECT_TRUE(test::list_built_disk(blank).empty());
}

TEST(ListPartitions, SectorZeroWinsOverALaterTable) {
    DiskBuilder disk(400);
    disk.entry(0, 0, 0x0C, 200, 50).fat32_boot(200);
    disk.entry(61, 0, 0x07, 100, 50).ntfs_boot(100);
    const PartitionList list = test::list_built_disk(disk);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.entries[0].type, FsType::Fat32);
}

} // namespace
} // namespace salvex
