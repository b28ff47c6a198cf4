// The Advance Scan over a 4Kn drive (tests/data/ntfs_4kn_gpt: 4,096-byte sectors, clusters and
// file records): the sweep takes each FILE record at the size its update sequence array covers,
// the classification reads the boot sector's counts in the volume's own sectors, and every path
// and file byte comes back as the Standard Scan gives them.
#include "advscan/classification.h"
#include "advscan/reconstruction.h"
#include "advscan/record_hit.h"
#include "advscan/sector_sweep.h"
#include "disk/block_device.h"
#include "recovery/recovery_driver.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/sha256.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <vector>

namespace salvex {
namespace {

namespace fs = std::filesystem;

constexpr Lba kStart = 2048;                // logical sector 256
constexpr Lba kBackup = kStart + 11775 * 8; // the partition's last logical sector

struct Swept {
    std::unique_ptr<SectorReader> reader;
    HitLists hits;
    CandidateList candidates;
};

Swept sweep_whole(const std::string& path) {
    Swept s;
    s.reader = std::make_unique<SectorReader>(AccessMode::Device);
    s.reader->open_device(FileDevice::open(path).value());
    SilentProgress progress;
    StopFlag stop{0};
    const Lba end = s.reader->total_sectors();
    sweep_sectors(*s.reader, 0, end, 60, s.hits, progress, stop);
    s.candidates = classify_hits(*s.reader, end, s.hits, progress, stop);
    return s;
}

// Reconstructs candidate `number`, recovers its root, and checks every manifest path and file.
void expect_whole_volume(Swept& swept, uint16_t number) {
    SilentProgress progress;
    StopFlag stop{0};
    NtfsScan scan;
    reconstruct_candidate(*swept.reader, swept.hits, swept.candidates, number, scan, progress,
                          stop);
    EXPECT_EQ(scan.volume.recordSectors, 8u);
    const auto byPath = test::items_by_path(scan);
    const fs::path target = test::temp_path("out");
    fs::remove_all(target);
    fs::create_directories(target);
    RecoverySettings settings;
    RecoveryRun run;
    RecoveryContext context(*swept.reader, scan, settings, progress, run);
    run_recovery(context, root_rows(scan), TargetFolder::open(target.string()).value());
    EXPECT_EQ(run.files_failed, 0u);

    size_t compared = 0;
    for (const auto& e : test::read_manifest(test::source_data_path("ntfs_4kn_gpt.manifest.tsv"))) {
        ASSERT_TRUE(byPath.count(e.path)) << e.path;
        EXPECT_EQ(byPath.at(e.path).folder, e.folder) << e.path;
        EXPECT_EQ(byPath.at(e.path).deleted, e.deleted) << e.path;
        if (e.folder || e.sha256.empty() || e.size == 0)
            continue;
        EXPECT_EQ(test::sha256_of_file((target / e.path.substr(1)).string()), e.sha256) << e.path;
        ++compared;
    }
    EXPECT_GT(compared, 30u);
}

TEST(LargeSectorVolume, SweepFindsTheVolumeInItsOwnSectorsAndEveryFileComesBack) {
    Swept swept = sweep_whole(test::image_path("ntfs_4kn_gpt"));
    // Records of 4,096 bytes are decoded whole, none torn.
    ASSERT_FALSE(swept.hits.files.empty());
    for (const FileRecordHit& hit : swept.hits.files)
        EXPECT_FALSE(hit.torn) << hit.name;
    const auto found = std::find_if(swept.candidates.begin(), swept.candidates.end(),
                                    [](const FsCandidate& c) { return c.start == kStart; });
    ASSERT_NE(found, swept.candidates.end());
    EXPECT_EQ(found->sectorsPerCluster, 8u);
    EXPECT_EQ(found->mftStart, kStart + 4 * 8);
    EXPECT_EQ(found->end, kBackup); // the volume's end: where its backup boot sector lies
    EXPECT_EQ(found->indexBlockSectors, 8u);
    expect_whole_volume(swept, static_cast<uint16_t>(found - swept.candidates.begin() + 1));
}

// A copy of the 4Kn image with `sectors` zeroed.
std::string zeroed_copy(const std::vector<Lba>& sectors) {
    const std::string path = test::damaged_copy("ntfs_4kn_gpt", {});
    std::fstream disk(path, std::ios::in | std::ios::out | std::ios::binary);
    const std::string zeros(kSectorSize, '\0');
    for (const Lba sector : sectors) {
        disk.seekp(static_cast<std::streamoff>(sector * kSectorSize));
        disk.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    }
    return path;
}

TEST(LargeSectorVolume, LostTableBootSectorAndFirstRecordsStillGiveTheRecordSize) {
    // The GPT, the volume's first sector and the first sector of each of $MFT's first four
    // records gone: the backup boot sector places the volume, and the record size comes from
    // the copy of record 0 in $MFTMirr.
    std::vector<Lba> zeroed{0, 8, kStart};
    for (Lba record = 0; record < 4; ++record)
        zeroed.push_back(kStart + 32 + 8 * record);
    Swept damaged = sweep_whole(zeroed_copy(zeroed));
    const auto found = std::find_if(damaged.candidates.begin(), damaged.candidates.end(),
                                    [](const FsCandidate& c) { return c.start == kStart; });
    ASSERT_NE(found, damaged.candidates.end());
    EXPECT_EQ(found->mftMirrorStart, kStart + 5887 * 8);
    const auto number = static_cast<uint16_t>(found - damaged.candidates.begin() + 1);
    SilentProgress progress;
    StopFlag stop{0};
    NtfsScan scan;
    reconstruct_candidate(*damaged.reader, damaged.hits, damaged.candidates, number, scan, progress,
                          stop);
    EXPECT_EQ(scan.volume.recordSectors, 8u);
    const auto byPath = test::items_by_path(scan);
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
