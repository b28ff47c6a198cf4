// The classification: candidates from boot sectors and from folders, checked against the
// direct version on real volumes and on many made-up hit lists.
#include "advscan/classification.h"
#include "advscan/sector_sweep.h"
#include "tests/advscan/classification_oracle.h"
#include "tests/support/memory_device.h"
#include "tests/support/ntfs_builder.h"
#include "tests/support/recording_progress.h"
#include "tests/support/test_images.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace salvex {
namespace {

struct Outcome {
    CandidateList candidates;
    std::vector<std::pair<int16_t, uint32_t>> folders; // candidate and MFT number of each
    size_t indexBlocks = 0;
};

Outcome classify(const SectorReader& reader, Lba end, HitLists hits, bool direct) {
    test::RecordingProgress progress;
    StopFlag stop{0};
    Outcome out;
    out.candidates = direct ? test::classify_hits_directly(reader, end, hits)
                            : classify_hits(reader, end, hits, progress, stop);
    for (const auto& f : hits.folders)
        out.folders.push_back({f.candidate, f.mftNumber});
    out.indexBlocks = hits.indexBlocks.size();
    return out;
}

void expect_same(const Outcome& a, const Outcome& b, const std::string& what) {
    EXPECT_EQ(a.candidates, b.candidates) << what;
    EXPECT_EQ(a.folders, b.folders) << what;
    EXPECT_EQ(a.indexBlocks, b.indexBlocks) << what;
}

TEST(Classification, SameAsTheDirectVersionOnRealDisks) {
    for (const char* image : {"demo", "ntfs_tree", "ntfs_fragmented_mft", "ntfs_attribute_list"}) {
        const auto reader = test::open_image(image);
        const Lba end = reader->total_sectors() - 1;
        HitLists hits;
        test::RecordingProgress progress;
        StopFlag stop{0};
        sweep_sectors(*reader, 0, end, 60, hits, progress, stop);
        const Outcome fast = classify(*reader, end, hits, false);
        expect_same(fast, classify(*reader, end, hits, true), image);
        EXPECT_FALSE(fast.candidates.empty()) << image;
    }
}

// Made-up hit lists over a disk with index blocks at chosen sectors: folders of a few volumes
// with different geometries, noise, stray boot sectors.
struct RandomDisk {
    std::unique_ptr<test::MemoryDevice> device;
    HitLists hits;
    Lba end = 0;
};

RandomDisk random_disk(uint32_t seed) {
    std::mt19937 rng(seed);
    const auto pick = [&](uint64_t lo, uint64_t hi) {
        return std::uniform_int_distribution<uint64_t>(lo, hi)(rng);
    };
    RandomDisk disk;
    disk.end = 400'000;
    disk.device = std::make_unique<test::MemoryDevice>(disk.end + 1);
    // Two or three volumes: (start, spc).
    std::vector<std::pair<Lba, uint64_t>> volumes;
    for (uint64_t v = 0, n = pick(1, 3); v < n; ++v)
        volumes.push_back({pick(1, 100) * 2048 + pick(0, 1) * 63, uint64_t{1} << pick(0, 4)});
    uint32_t number = 30;
    std::vector<FolderRecordHit> folders;
    for (int i = 0; i < 60; ++i) {
        const auto& [start, spc] = volumes[pick(0, volumes.size() - 1)];
        FolderRecordHit f;
        f.name = "f" + std::to_string(i);
        f.sector = pick(1, disk.end - 10);
        f.parent = static_cast<uint32_t>(pick(0, 1) ? 5 : pick(30, 100));
        f.mftNumber = pick(0, 3) == 0 ? 0 : number++;
        f.firstIndexCluster = pick(0, 5) == 0 ? 0 : static_cast<int64_t>(pick(1, 3000));
        const Lba block = start + spc * static_cast<uint64_t>(f.firstIndexCluster);
        if (f.firstIndexCluster != 0 && block <= disk.end && pick(0, 4) != 0) {
            std::memcpy(disk.device->sector(block), "INDX", 4);
            if (f.mftNumber != 0 && pick(0, 5) != 0)
                disk.hits.indexBlocks.push_back({block, f.mftNumber, 0, -1, 1});
        }
        folders.push_back(f);
    }
    std::sort(folders.begin(), folders.end(),
              [](const auto& a, const auto& b) { return a.sector < b.sector; });
    disk.hits.folders.assign(folders.begin(), folders.end());
    // Noise: index blocks of other owners and later blocks of an index.
    for (int i = 0; i < 10; ++i)
        disk.hits.indexBlocks.push_back({pick(1, disk.end), static_cast<uint32_t>(pick(5, 200)),
                                         static_cast<uint32_t>(pick(0, 2)), -1, 1});
    std::sort(disk.hits.indexBlocks.begin(), disk.hits.indexBlocks.end(),
              [](const auto& a, const auto& b) { return a.sector < b.sector; });
    // Boot sectors: true ones (at a volume's start or its backup) and strays.
    for (const auto& [start, spc] : volumes) {
        const uint64_t total = pick(10'000, disk.end - start);
        const auto boot = test::ntfs_boot_sector(
            {.sectorsPerClusterByte = static_cast<uint8_t>(spc), .totalSectors = total});
        const Lba at = pick(0, 1) ? start : start + total;
        if (at <= disk.end) {
            disk.device->write(at, boot);
            disk.hits.bootSectors.push_back({at});
        }
    }
    std::sort(disk.hits.bootSectors.begin(), disk.hits.bootSectors.end(),
              [](const auto& a, const auto& b) { return a.sector < b.sector; });
    disk.hits.sweptFrom = 0;
    disk.hits.sweptTo = disk.end + 1;
    for (Lba s = 0; s <= disk.end; ++s) {
        if (std::memcmp(disk.device->sector(s), "INDX", 4) == 0)
            disk.hits.indxSectors.push_back(s);
    }
    return disk;
}

TEST(Classification, SameAsTheDirectVersionOnMadeUpHits) {
    size_t fromBoot = 0;
    size_t inferred = 0;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        RandomDisk disk = random_disk(seed);
        SectorReader reader(AccessMode::Device);
        const HitLists hits = disk.hits;
        const Lba end = disk.end;
        reader.open_device(std::move(disk.device));
        const Outcome fast = classify(reader, end, hits, false);
        expect_same(fast, classify(reader, end, hits, true), "seed " + std::to_string(seed));
        for (const FsCandidate& c : fast.candidates)
            ++(c.mftStart != 0 ? fromBoot : inferred);
    }
    // The made-up disks exercise both ways of making a candidate.
    EXPECT_GT(fromBoot, 10u);
    EXPECT_GT(inferred, 10u);
}

// A disk with two folders of a volume at 8,000 (8 sectors per cluster) whose first index
// blocks lie at clusters 100 and 300.
struct TwoFolders {
    std::unique_ptr<test::MemoryDevice> device = std::make_unique<test::MemoryDevice>(100'000);
    HitLists hits;

    TwoFolders() {
        for (const uint64_t cluster : {100, 300})
            std::memcpy(device->sector(8000 + 8 * cluster), "INDX", 4);
        hits.folders = {FolderRecordHit{"A", 8100, 5, 40, 0, 0, 0, 100, false},
                        FolderRecordHit{"B", 8102, 40, 41, 0, 0, 0, 300, false}};
        hits.indexBlocks = {{8800, 40, 0, -1, 8}, {10400, 41, 0, -1, 8}};
        hits.indxSectors = {8800, 10400};
        hits.sweptTo = 100'000;
    }
    // Classifies the hits over the disk, whose last sector is 90,000.
    CandidateList classify() {
        SectorReader reader(AccessMode::Device);
        reader.open_device(std::move(device));
        test::RecordingProgress progress;
        StopFlag stop{0};
        return classify_hits(reader, 90'000, hits, progress, stop);
    }
};

TEST(Classification, TwoFoldersWithoutBootSectorInferTheVolume) {
    TwoFolders disk;
    const CandidateList candidates = disk.classify();
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0], (FsCandidate{FsType::Ntfs, 8, 8000, 0, 0, 8, 90'000}));
    EXPECT_EQ(candidates[0].label(), "NTFS @8000");
    EXPECT_EQ(disk.hits.folders[0].candidate, 1);
    EXPECT_EQ(disk.hits.folders[1].candidate, 1);
}

TEST(Classification, BootSectorAloneMakesNoCandidateButItsBackupFindsTheStart) {
    TwoFolders disk;
    const auto boot = test::ntfs_boot_sector({.sectorsPerClusterByte = 8, .totalSectors = 50'000});
    disk.device->write(60'000, boot);        // nothing of this volume was found
    disk.device->write(8000 + 50'000, boot); // the backup of the volume at 8,000
    disk.hits.bootSectors = {{58'000}, {60'000}};
    const CandidateList candidates = disk.classify();
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].start, 8000u);
    EXPECT_EQ(candidates[0].end, 58'000u);
    EXPECT_EQ(candidates[0].mftStart, 8000u + 8 * 4); // the geometry the boot sector gives
}

TEST(Classification, FoldersNoCandidateExplainsTakeTheNumberBeforeThem) {
    TwoFolders disk;
    // A stray folder before the volume's, whose index block was never found.
    disk.hits.folders.insert(disk.hits.folders.begin(),
                             FolderRecordHit{"stray", 10, 5, 70, 0, 0, 0, 5, false});
    disk.classify();
    EXPECT_EQ(disk.hits.folders[0].candidate, 1); // the fill-down's starting value
}

TEST(Classification, MftNumbersComeFromIndexEntriesThenFromNeighbours) {
    // An index block of folder 40 whose one entry names a sub-folder "Sub" as record 77.
    std::vector<uint8_t> block(4096, 0);
    std::memcpy(block.data(), "INDX", 4);
    block[0x18] = 0x28; // entries from 0x40
    const size_t e = 0x40;
    block[e + 0] = 77;
    block[e + 8] = 0x60;    // entry length
    block[e + 0x10] = 40;   // parent
    block[e + 0x18] = 9;    // creation time
    block[e + 0x4B] = 0x10; // a folder
    block[e + 0x50] = 3;
    block[e + 0x52] = 'S';
    block[e + 0x54] = 'u';
    block[e + 0x56] = 'b';
    auto device = std::make_unique<test::MemoryDevice>(1000);
    device->write(500, block);
    HitLists hits;
    hits.folders = {FolderRecordHit{"Sub", 100, 40, 0, 0, 9, 0, 0, false},
                    FolderRecordHit{"Next", 102, 40, 0, 0, 1, 0, 0, false},
                    FolderRecordHit{"Far", 110, 40, 0, 0, 1, 0, 0, false},
                    FolderRecordHit{"Odd", 113, 40, 0, 0, 1, 0, 0, false}};
    hits.indexBlocks = {{500, 40, 0, -1, 8}};
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(device));
    test::RecordingProgress progress;
    assign_mft_numbers(reader, hits, progress);
    EXPECT_EQ(hits.folders[0].mftNumber, 77u); // learned, not renumbered
    EXPECT_EQ(hits.folders[1].mftNumber, 78u); // two sectors on: the next record
    EXPECT_EQ(hits.folders[2].mftNumber, 82u); // eight sectors on: four records on
    EXPECT_EQ(hits.folders[3].mftNumber, 83u); // an odd distance: just the next number
}

} // namespace
} // namespace salvex
