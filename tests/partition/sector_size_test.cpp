// Drives of 4,096-byte logical sectors (tests/data/ntfs_4kn_*: parted on a 4Kn loop device,
// mkntfs -s 4096): the sector size is found from the image, the tables are read in it, and the
// volume's boot sector is read in its own sectors; 512-byte disks are unchanged. (Each bundled
// image's sector size and partitions: real_image_test.cpp.)
#include "partition/gpt.h"
#include "partition/partition_table.h"
#include "partition/sector_size.h"
#include "partition/volume_parameters.h"
#include "tests/support/memory_device.h"
#include "tests/support/test_images.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex {
namespace {

constexpr FsType kNtfs = FsType::Ntfs;

// A file holding `count` 512-byte sectors of image `name` from sector `first` on: a bare volume.
std::string cut_image(const std::string& name, Lba first, uint64_t count) {
    std::ifstream in(test::image_path(name), std::ios::binary);
    std::vector<char> bytes(count * kSectorSize);
    in.seekg(static_cast<std::streamoff>(first * kSectorSize));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const std::string path = test::temp_path(name + "-cut.img");
    std::ofstream(path, std::ios::binary).write(bytes.data(), in.gcount());
    return path;
}

TEST(SectorSize, GptOfLargeSectorsFoundByItsBackupWhenThePrimaryIsLost) {
    // The primary header (logical sector 1 = 512-byte sector 8) zeroed: the backup header at the
    // start of the last logical sector names the size and lists the partition.
    const auto reader = test::open_image_file(test::damaged_copy("ntfs_4kn_gpt", {8}));
    EXPECT_EQ(sector_size_from_content(*reader), 4096u);
    PartitionList list;
    list_partitions(*reader, list);
    EXPECT_EQ(list.entries, (std::vector<PartitionInfo>{{2048, 11776 * 8, kNtfs}}));
    const auto partitions = read_gpt(*reader, reader->total_sectors(), 4096);
    ASSERT_TRUE(partitions.has_value());
    EXPECT_EQ((*partitions)[0].last, 2048u + 11776 * 8 - 1);
    // Read in 512-byte sectors the table is not there.
    EXPECT_FALSE(read_gpt(*reader, reader->total_sectors(), 512).has_value());
}

TEST(SectorSize, BareVolumeImageTakesItsBootSectorsSize) {
    const auto bare = test::open_image_file(cut_image("ntfs_4kn_gpt", 2048, 11776 * 8));
    EXPECT_EQ(sector_size_from_content(*bare), 4096u);
    const auto bare512 = test::open_image_file(cut_image("mbr_ntfs_only", 2048, 28672));
    EXPECT_EQ(sector_size_from_content(*bare512), 512u);
    // Nothing recognisable: 512.
    SectorReader blank(AccessMode::Device);
    blank.open_device(std::make_unique<test::MemoryDevice>(4096));
    EXPECT_EQ(drive_sector_size(blank), 512u);
}

TEST(SectorSize, VolumeParametersOfFourKibibyteSectorsAreIn512ByteSectors) {
    // 4,096-byte sectors, clusters of one sector, records of one cluster, $MFT at cluster 4 and
    // $MFTMirr at cluster 5,887.
    const auto reader = test::open_image("ntfs_4kn_gpt");
    VolumeInfo v;
    ASSERT_TRUE(read_volume_parameters(*reader, kNtfs, 2048, 2048 + 11776 * 8 - 1, v));
    EXPECT_EQ(v.sectorsPerCluster, 8u);
    EXPECT_EQ(v.recordSectors, 8u);
    EXPECT_EQ(v.indexBlockSectors, 8u);
    EXPECT_EQ(v.mftStart, 2048u + 4 * 8);
    EXPECT_EQ(v.mftMirrorStart, 2048u + 5887 * 8);
    // The backup boot sector lies in the partition's last 4,096-byte sector.
    EXPECT_EQ(find_ntfs_backup_boot_sector(*reader, 2048, 2048 + 11776 * 8 - 1),
              Lba{2048 + 11775 * 8});

    // Without its first sector the volume is read from that backup.
    const auto damaged = test::open_image_file(test::damaged_copy("ntfs_4kn_gpt", {2048}));
    VolumeInfo fromBackup;
    ASSERT_TRUE(read_volume_parameters(*damaged, kNtfs, 2048, 2048 + 11776 * 8 - 1, fromBackup));
    EXPECT_EQ(fromBackup.mftStart, v.mftStart);
    EXPECT_EQ(fromBackup.recordSectors, 8u);
    PartitionList list;
    list_partitions(*damaged, list);
    EXPECT_EQ(list.entries, (std::vector<PartitionInfo>{{2048, 11776 * 8, kNtfs}}));
}

// A boot sector with the fields the geometry is made of.
std::array<uint8_t, kSectorSize> boot(uint16_t bytesPerSector, uint8_t spc, uint8_t perRecord,
                                      uint8_t perIndexBlock) {
    std::array<uint8_t, kSectorSize> b{};
    b[0x0B] = static_cast<uint8_t>(bytesPerSector);
    b[0x0C] = static_cast<uint8_t>(bytesPerSector >> 8);
    b[0x0D] = spc;
    b[0x28] = 100; // total sectors
    b[0x40] = perRecord;
    b[0x44] = perIndexBlock;
    return b;
}

TEST(NtfsBootGeometry, SizesFromSectorClusterAndRecordFields) {
    struct Case {
        uint16_t bps;
        uint8_t spc, perRecord, perIndex;
        uint32_t sectorsPerCluster, totalSectors, recordSectors, indexSectors;
    };
    for (const Case& c : {
             Case{512, 8, 0xF6, 0x01, 8, 100, 2, 8},   // the usual volume: 1,024-byte records
             Case{512, 1, 0x02, 0x08, 1, 100, 2, 8},   // 512-byte clusters, 2 per record
             Case{4096, 1, 0x01, 0x01, 8, 800, 8, 8},  // mkntfs -s 4096: a record per cluster
             Case{4096, 2, 0xF4, 0xF4, 16, 800, 8, 8}, // 2^12: 4,096-byte records
             Case{2048, 2, 0xF6, 0xF4, 8, 400, 2, 8},  // 2,048-byte sectors
             Case{4096, 1, 0x00, 0x01, 8, 800, 8, 8},  // no record size: one sector
             Case{512, 8, 0x7F, 0x01, 8, 100, 2, 8},   // 127 clusters: none, 1,024 bytes
             Case{0, 8, 0xF6, 0x01, 8, 100, 2, 8},     // damaged sector size: 512
             Case{3000, 8, 0xF6, 0x01, 8, 100, 2, 8},  // not a power of two: 512
         }) {
        const auto g = decode_ntfs_boot(boot(c.bps, c.spc, c.perRecord, c.perIndex));
        ASSERT_TRUE(g.has_value()) << c.bps;
        EXPECT_EQ(g->sectorsPerCluster, c.sectorsPerCluster) << c.bps << " " << int(c.spc);
        EXPECT_EQ(g->totalSectors, c.totalSectors) << c.bps;
        EXPECT_EQ(g->recordSectors, c.recordSectors) << c.bps << " " << int(c.perRecord);
        EXPECT_EQ(g->indexBlockSectors, c.indexSectors) << c.bps << " " << int(c.perIndex);
    }
    // Clusters over 2 MiB (4,096 sectors of 4,096 bytes) and undecodable bytes are refused.
    EXPECT_FALSE(decode_ntfs_boot(boot(4096, 0xF4, 0xF6, 1)).has_value());
    EXPECT_FALSE(decode_ntfs_boot(boot(512, 3, 0xF6, 1)).has_value());
    EXPECT_EQ(record_bytes(0xF6, 4096), 1024u);
    EXPECT_EQ(record_bytes(0xF4, 512), 4096u);
    EXPECT_EQ(record_bytes(0x81, 4096), std::nullopt); // 2^127
}

} // namespace
} // namespace salvex
