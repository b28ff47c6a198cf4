// The quick search for lost partitions over disks built byte by byte, and over a parted-built
// disk whose master boot record was zeroed (lost_mbr_zeroed, built by tools/build_images.py).
#include "partition/partition_table.h"
#include "partition/quick_search.h"
#include "tests/support/disk_builder.h"
#include "tests/support/recording_progress.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace salvex {
namespace {

using test::DiskBuilder;
using test::MemoryDevice;

constexpr FsType kFat16 = FsType::Fat16;
constexpr FsType kFat32 = FsType::Fat32;
constexpr FsType kNtfs = FsType::Ntfs;
constexpr Lba kCylinder = 255 * 63; // sectors of a cylinder with 255 heads

// A disk being searched: the builder's device behind a reader, with the reads it received.
struct Search {
    explicit Search(DiskBuilder& disk, DriveInfo driveInfo)
        : device(&disk.device()), drive(driveInfo) {
        reader.open_device(disk.build());
    }
    explicit Search(DiskBuilder& disk)
        : Search(disk, drive_with_default_geometry(disk.device().size_bytes() / kSectorSize)) {}

    PartitionList run(QuickSearchMode mode = QuickSearchMode::Standard) {
        PartitionList list;
        list.append({1, 1, kNtfs}); // the search replaces whatever the list held
        quick_search_partitions(reader, drive, mode, list, progress, stop);
        return list;
    }
    // The sectors read, each as often as it was read.
    std::multiset<Lba> sectors_read() const {
        std::multiset<Lba> sectors;
        for (const auto& read : device->reads()) {
            EXPECT_EQ(read.length, kSectorSize);
            sectors.insert(read.offset / kSectorSize);
        }
        return sectors;
    }

    MemoryDevice* device;
    DriveInfo drive;
    SectorReader reader{AccessMode::Device};
    test::RecordingProgress progress;
    StopFlag stop{0};
};

DriveInfo chs_drive(uint32_t cylinders, uint32_t heads, uint32_t sectorsPerTrack) {
    DriveInfo drive;
    drive.cylinders = cylinders;
    drive.heads = heads;
    drive.sectorsPerTrack = sectorsPerTrack;
    drive.totalSectors = uint64_t{cylinders} * heads * sectorsPerTrack;
    return drive;
}

TEST(QuickSearch, NtfsOneTrackIntoAWipedDiskIsFoundWithItsOwnSize) {
    DiskBuilder disk(4 * kCylinder);
    disk.ntfs_boot(63).le64(63, 40, 40000); // sector 0 stays all zero
    Search search(disk);
    const PartitionList list = search.run();
    EXPECT_EQ(list.entries, (std::vector<PartitionInfo>{{63, 40000, kNtfs}}));
    EXPECT_EQ(search.progress.statuses, (std::vector<std::string>{kQuickSearchStatus, ""}));
    EXPECT_EQ(search.progress.percents.back(), 0); // the bar is reset at the end
    EXPECT_TRUE(search.progress.messages.empty());
}

TEST(QuickSearch, EachCylinderYieldsTheBootSectorOneTrackOnBeforeItsFirstSector) {
    DiskBuilder disk(5 * kCylinder);
    // Cylinder 1: boot sectors at both places; the one a track on wins.
    disk.fat32_boot(kCylinder).le32(kCylinder, 32, 111);
    disk.ntfs_boot(kCylinder + 63).le64(kCylinder + 63, 40, 222);
    // Cylinder 2: only its first sector holds one.
    disk.fat16_boot(2 * kCylinder).le32(2 * kCylinder, 32, 333);
    // Cylinder 3: the sector a track on is signed but names no file system, so it is the
    // candidate and the boot sector at the cylinder's start is not looked at.
    disk.signature(3 * kCylinder + 63).ntfs_boot(3 * kCylinder);
    Search search(disk);
    EXPECT_EQ(search.run().entries, (std::vector<PartitionInfo>{{kCylinder + 63, 222, kNtfs},
                                                                {2 * kCylinder, 333, kFat16}}));
    EXPECT_EQ(search.sectors_read().count(kCylinder), 0u);
    EXPECT_EQ(search.sectors_read().count(3 * kCylinder), 0u);
}

TEST(QuickSearch, BootSectorsAreKnownByTheirFileSystemDigitsAndOemName) {
    DiskBuilder disk(8 * kCylinder);
    const auto place = [](Lba c) { return c * kCylinder + 63; };
    disk.text(place(1), 85, "32").signature(place(1)).le32(place(1), 32, 70000); // no "FAT"
    disk.text(place(2), 57, "16").signature(place(2));                           // sizes 0 and 0
    disk.fat16_boot(place(3)).le32(place(3), 19, 40000); // small FAT16: the 16-bit count at 19
    disk.fat16_boot(place(4)).le32(place(4), 19, 1234).le32(place(4), 32, 99999);
    disk.ntfs_boot(place(5)).le64(place(5), 40, 5000);
    disk.text(place(6), 3, "NTFS    "); // no signature
    disk.text(place(7), 3, "EXFAT   ").signature(place(7));
    Search search(disk);
    EXPECT_EQ(search.run().entries, (std::vector<PartitionInfo>{{place(1), 70000, kFat32},
                                                                {place(2), 0, kFat16},
                                                                {place(3), 40000, kFat16},
                                                                {place(4), 99999, kFat16},
                                                                {place(5), 5000, kNtfs}}));
}

TEST(QuickSearch, DrivesOf63SectorsPerTrackAreSearchedWithTheirOwnHeads) {
    constexpr Lba k16HeadCylinder = 16 * 63;
    DiskBuilder disk(100 * k16HeadCylinder);
    disk.ntfs_boot(5 * k16HeadCylinder + 63).le64(5 * k16HeadCylinder + 63, 40, 10);
    disk.ntfs_boot(7 * k16HeadCylinder).le64(7 * k16HeadCylinder, 40, 20);
    disk.ntfs_boot(2 * kCylinder + 63); // a 255-head place, none of this drive's
    Search search(disk, chs_drive(100, 16, 63));
    EXPECT_EQ(quick_search_geometry(search.drive).heads, 16u);
    EXPECT_EQ(search.run().entries,
              (std::vector<PartitionInfo>{{5 * k16HeadCylinder + 63, 10, kNtfs},
                                          {7 * k16HeadCylinder, 20, kNtfs}}));
}

TEST(QuickSearch, OtherGeometriesAreSearchedAs255HeadsOver63SectorsOfTheSameCapacity) {
    // 1000 cylinders × 64 heads × 32 sectors = 2,048,000 sectors: 127 whole cylinders of 16065.
    const DriveInfo drive = chs_drive(1000, 64, 32);
    const SearchGeometry geometry = quick_search_geometry(drive);
    EXPECT_EQ(geometry.cylinders, 127u);
    EXPECT_EQ(geometry.heads, 255u);
    EXPECT_EQ(geometry.sectorsPerTrack, 63u);

    DiskBuilder disk(drive.totalSectors);
    disk.ntfs_boot(126 * kCylinder + 63); // the last whole cylinder
    disk.ntfs_boot(127 * kCylinder + 63); // the partial one past it
    disk.ntfs_boot(10 * 64 * 32 + 63);    // a track into cylinder 10 of the drive's own geometry
    Search search(disk, drive);
    const PartitionList list = search.run();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.entries[0].start, 126 * kCylinder + 63);

    // The capacity is worked out in 64 bits: 32 × 255 × 1,000,000 exceeds 32 bits.
    EXPECT_EQ(quick_search_geometry(chs_drive(1000000, 255, 32)).cylinders,
              uint64_t{32} * 255 * 1000000 / kCylinder);
    // A drive without heads or without geometry has no cylinders to visit.
    EXPECT_EQ(quick_search_geometry(chs_drive(500, 0, 63)).cylinders, 0u);
    EXPECT_EQ(quick_search_geometry(DriveInfo{}).cylinders, 0u);
}

TEST(QuickSearch, NothingFoundTellsTheUserWhereToGoNext) {
    for (const auto mode : {QuickSearchMode::Standard, QuickSearchMode::Advance}) {
        DiskBuilder disk(3 * kCylinder);
        Search search(disk);
        EXPECT_TRUE(search.run(mode).empty());
        ASSERT_EQ(search.progress.messages.size(), 1u);
        EXPECT_EQ(search.progress.messages[0].text, mode == QuickSearchMode::Standard
                                                        ? kNoLostPartitionStandardMessage
                                                        : kNoLostPartitionAdvanceMessage);
        EXPECT_EQ(search.progress.messages[0].kind, MessageKind::Error);
    }
}

TEST(QuickSearch, StopEndsTheSearchWithWhatWasFoundAndIsClearedAfter) {
    DiskBuilder stopped(4 * kCylinder);
    stopped.ntfs_boot(63).ntfs_boot(2048);
    Search atOnce(stopped);
    atOnce.progress.onStatus = [&](std::string_view text) {
        if (text == kQuickSearchStatus)
            atOnce.stop = 1;
    };
    EXPECT_TRUE(atOnce.run().empty());
    EXPECT_TRUE(atOnce.device->reads().empty());
    ASSERT_EQ(atOnce.progress.messages.size(), 1u);
    EXPECT_EQ(atOnce.progress.messages[0].text, kNoLostPartitionStandardMessage);
    EXPECT_EQ(atOnce.stop.load(), 0);

    // A Stop left over from an earlier operation does not end a new search.
    DiskBuilder leftOver(4 * kCylinder);
    leftOver.ntfs_boot(63);
    Search search(leftOver);
    search.stop = 1;
    EXPECT_EQ(search.run().size(), 1u);
    EXPECT_EQ(search.stop.load(), 0);
}

TEST(QuickSearch, ListEndsAtTwentyFivePartitions) {
    DiskBuilder disk(32 * kCylinder);
    for (Lba c = 1; c <= 30; ++c)
        disk.ntfs_boot(c * kCylinder + 63);
    Search search(disk);
    const PartitionList list = search.run();
    ASSERT_EQ(list.size(), kMaxPartitions);
    EXPECT_EQ(list.entries.back().start, 25 * kCylinder + 63);
    // The search left when the list was full.
    EXPECT_LT(*search.sectors_read().rbegin(), 26 * kCylinder);
}

TEST(QuickSearch, MebibyteBoundariesAreSearchedInOrderWithTheCylinders) {
    DiskBuilder disk(4 * kCylinder);
    disk.ntfs_boot(5 * 2048).le64(5 * 2048, 40, 1);
    disk.ntfs_boot(kCylinder + 63).le64(kCylinder + 63, 40, 2);
    disk.fat32_boot(10 * 2048).le32(10 * 2048, 32, 3);
    Search search(disk);
    EXPECT_EQ(search.run().entries,
              (std::vector<PartitionInfo>{
                  {5 * 2048, 1, kNtfs}, {kCylinder + 63, 2, kNtfs}, {10 * 2048, 3, kFat32}}));
    // Progress only climbs, below 100.
    const auto& percents = search.progress.percents;
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end() - 1));
    EXPECT_LE(*std::max_element(percents.begin(), percents.end()), 99);

    // With 16 heads, cylinder 2 starts at 2016: the 1 MiB boundary 2048 lies inside its first
    // track, before the boot sector one track on.
    DiskBuilder narrow(50 * 16 * 63);
    narrow.ntfs_boot(2016 + 63).fat32_boot(2048);
    Search search16(narrow, chs_drive(50, 16, 63));
    EXPECT_EQ(search16.run().entries,
              (std::vector<PartitionInfo>{{2048, 0, kFat32}, {2016 + 63, 0, kNtfs}}));
}

TEST(QuickSearch, StartOnACylinderAndAMebibyteBoundaryIsListedAndReadOnce) {
    // With 255 heads, cylinder 257's place a track on is sector 4,128,768 = 2016 MiB.
    constexpr Lba kTrackOn = 257 * kCylinder + 63;
    static_assert(kTrackOn % 2048 == 0);
    DiskBuilder wide(260 * kCylinder);
    wide.ntfs_boot(kTrackOn);
    Search search255(wide);
    EXPECT_EQ(search255.run().entries, (std::vector<PartitionInfo>{{kTrackOn, 0, kNtfs}}));

    // With 16 heads, cylinder 128 starts at sector 129,024 = 63 MiB.
    constexpr Lba kStart = 128 * 16 * 63;
    static_assert(kStart % 2048 == 0);
    DiskBuilder narrow(200 * 16 * 63);
    narrow.ntfs_boot(kStart);
    Search search16(narrow, chs_drive(200, 16, 63));
    EXPECT_EQ(search16.run().entries, (std::vector<PartitionInfo>{{kStart, 0, kNtfs}}));

    // No sector is read twice, whichever kinds of place reach it.
    for (const Search* search : {&search255, &search16}) {
        const auto sectors = search->sectors_read();
        EXPECT_EQ(std::set<Lba>(sectors.begin(), sectors.end()).size(), sectors.size());
    }
    EXPECT_EQ(search255.sectors_read().count(kTrackOn), 1u);
    EXPECT_EQ(search16.sectors_read().count(kStart), 1u);
}

TEST(QuickSearch, DriveWithoutGeometryIsSearchedOnMebibyteBoundaries) {
    DiskBuilder disk(20000);
    disk.ntfs_boot(63).ntfs_boot(4096);
    DriveInfo drive;
    drive.totalSectors = 20000;
    Search search(disk, drive);
    EXPECT_EQ(search.run().entries, (std::vector<PartitionInfo>{{4096, 0, kNtfs}}));
}

TEST(QuickSearch, UnreadableSectorIsJudgedAsZeros) {
    DiskBuilder disk(4 * kCylinder);
    // The last 1 MiB boundary before cylinder 1 holds a boot sector; both places of cylinder 1
    // cannot be read, and must not be taken for the sector read before them.
    disk.ntfs_boot(7 * 2048).le64(7 * 2048, 40, 100);
    disk.device().fail_sector(kCylinder + 63);
    disk.device().fail_sector(kCylinder);
    // Cylinder 2: the place a track on is unreadable, the boot sector at the start is found.
    disk.ntfs_boot(2 * kCylinder).le64(2 * kCylinder, 40, 300);
    disk.device().fail_sector(2 * kCylinder + 63);
    Search search(disk);
    EXPECT_EQ(search.run().entries,
              (std::vector<PartitionInfo>{{7 * 2048, 100, kNtfs}, {2 * kCylinder, 300, kNtfs}}));
}

TEST(QuickSearch, NtfsVolumeBeyond32BitSectorNumbersKeepsItsSize) {
    // A 6 TiB disk whose NTFS volume starts past sector 2^32 and counts more than 2^32 sectors.
    constexpr uint64_t kSectors = uint64_t{12} << 30;
    constexpr uint64_t kCylinderPastLimit = (uint64_t{1} << 32) / kCylinder + 1;
    constexpr Lba kStart = kCylinderPastLimit * kCylinder + 63;
    constexpr uint64_t kSize = kSectors - kStart - 1;
    static_assert(kStart > UINT32_MAX && kSize > UINT32_MAX);
    DiskBuilder disk(kSectors);
    disk.ntfs_boot(kStart).le64(kStart, 40, kSize);
    Search search(disk);
    // The search need not cover the whole disk: Stop is pressed once it has passed the volume.
    const int passed = static_cast<int>(kStart * 100 / kSectors) + 1;
    search.progress.onProgress = [&](int percent) {
        if (percent >= passed)
            search.stop = 1;
    };
    EXPECT_EQ(search.run().entries, (std::vector<PartitionInfo>{{kStart, kSize, kNtfs}}));
}

TEST(QuickSearch, FindsThePartitionsOfARealDiskWhoseTableWasZeroed) {
    // lost_mbr_zeroed: parted placed an NTFS a track into cylinder 0, a FAT32 at 16 MiB
    // and an NTFS logical drive a track after its extended boot record at cylinder 7; mkntfs and
    // mkfs.vfat wrote the sizes their boot sectors give (tests/data/README.md).
    const auto reader = test::open_image("lost_mbr_zeroed");
    PartitionList list;
    EXPECT_FALSE(list_partitions(*reader, list));

    const auto drive = describe_image(test::image_path("lost_mbr_zeroed"));
    ASSERT_TRUE(drive.ok()) << drive.error();
    test::RecordingProgress progress;
    StopFlag stop{0};
    quick_search_partitions(*reader, *drive, QuickSearchMode::Standard, list, progress, stop);
    EXPECT_EQ(list.entries,
              (std::vector<PartitionInfo>{
                  {63, 16001, kNtfs}, {32768, 69615, kFat32}, {112518, 18553, kNtfs}}));
    EXPECT_TRUE(progress.messages.empty());
}

} // namespace
} // namespace salvex
