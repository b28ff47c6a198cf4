// The Advance Scan over a 4Kn drive (tests/data/ntfs_4kn_gpt: 4,096-byte sectors, clusters and
// file records): the sweep takes each FILE record at the size its update sequence array covers,
// the classification reads the boot sector's counts in the volume's own sectors, and every path
// and file byte comes back as the Standard Scan gives them.
#include "advscan/record_hit.h"
#include "disk/block_device.h"
#include "tests/advscan/damaged_image.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <vector>

namespace salvex {
namespace {

constexpr Lba kStart = 2048;                // logical sector 256
constexpr Lba kBackup = kStart + 11775 * 8; // the partition's last logical sector

// The candidate the classification found at kStart; null when there is none.
const FsCandidate* candidate_at_start(const test::AdvanceScan& advance) {
    const auto found = std::find_if(advance.candidates.begin(), advance.candidates.end(),
                                    [](const FsCandidate& c) { return c.start == kStart; });
    return found == advance.candidates.end() ? nullptr : &*found;
}

TEST(LargeSectorVolume, SweepFindsTheVolumeInItsOwnSectorsAndEveryFileComesBack) {
    test::AdvanceScan advance(FileDevice::open(test::image_path("ntfs_4kn_gpt")).value());
    advance.sweep();
    // Records of 4,096 bytes are decoded whole, none torn.
    ASSERT_FALSE(advance.hits.files.empty());
    for (const FileRecordHit& hit : advance.hits.files)
        EXPECT_FALSE(hit.torn) << hit.name;
    const FsCandidate* found = candidate_at_start(advance);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->sectorsPerCluster, 8u);
    EXPECT_EQ(found->mftStart, kStart + 4 * 8);
    EXPECT_EQ(found->end, kBackup); // the volume's end: where its backup boot sector lies
    EXPECT_EQ(found->indexBlockSectors, 8u);

    EXPECT_GT(test::expect_recovered_as_written(advance, kStart, "ntfs_4kn_gpt.manifest.tsv"), 30u);
    EXPECT_EQ(advance.scan.volume.recordSectors, 8u);
}

TEST(LargeSectorVolume, LostTableBootSectorAndFirstRecordsStillGiveTheRecordSize) {
    // The GPT, the volume's first sector and the first sector of each of $MFT's first four
    // records gone: the backup boot sector places the volume, and the record size comes from
    // the copy of record 0 in $MFTMirr.
    std::vector<Lba> zeroed{0, 8, kStart};
    for (Lba record = 0; record < 4; ++record)
        zeroed.push_back(kStart + 32 + 8 * record);
    test::AdvanceScan damaged(FileDevice::open(test::damaged_copy("ntfs_4kn_gpt", zeroed)).value());
    damaged.sweep();
    const FsCandidate* found = candidate_at_start(damaged);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->mftMirrorStart, kStart + 5887 * 8);
    ASSERT_TRUE(damaged.reconstruct(kStart));
    EXPECT_EQ(damaged.scan.volume.recordSectors, 8u);
    const auto byPath = test::items_by_path(damaged.scan);
    for (const char* path : {"/Data/fragmented.bin", "/日本語フォルダ/報告書.txt",
                             "/Trash/Gelöscht/álbum.jpg", "/Documents/Projects/2026/Q4/plan.txt"})
        EXPECT_TRUE(byPath.count(path)) << path;
}

TEST(LargeSectorVolume, RecordSizeComesFromTheUpdateSequenceArray) {
    std::array<uint8_t, kSectorSize> first{};
    const auto with_count = [&](uint16_t count) {
        first[6] = static_cast<uint8_t>(count);
        first[7] = static_cast<uint8_t>(count >> 8);
        return swept_record_size(first);
    };
    EXPECT_EQ(with_count(3), 1024u);
    EXPECT_EQ(with_count(9), 4096u);
    EXPECT_EQ(with_count(5), 2048u);
    // No size a record can have: the usual one.
    EXPECT_EQ(with_count(0), 1024u);
    EXPECT_EQ(with_count(4), 1024u);  // 1,536 bytes
    EXPECT_EQ(with_count(17), 1024u); // 8 KiB: larger than any record read
}

} // namespace
} // namespace salvex
