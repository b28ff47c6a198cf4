// A volume whose partition entry was deleted and whose first 64 KiB were overwritten (boot
// sector and first $MFT records gone) is found by the Advance Scan, and its files come back.
#include "advscan/classification.h"
#include "advscan/reconstruction.h"
#include "advscan/sector_sweep.h"
#include "disk/block_device.h"
#include "recovery/recovery_driver.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/sha256.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex {
namespace {

namespace fs = std::filesystem;

// The demo disk with partition 1's entry gone and the first 128 sectors of its volume zeroed.
std::string damaged_demo() {
    const std::string path = test::temp_path("damaged.img");
    fs::copy_file(test::image_path("demo"), path, fs::copy_options::overwrite_existing);
    std::fstream disk(path, std::ios::in | std::ios::out | std::ios::binary);
    const std::string zeros(128 * 512, '\0');
    disk.seekp(446);
    disk.write(zeros.data(), 16);
    disk.seekp(2048 * 512);
    disk.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    return path;
}

TEST(LostVolume, SweepFindsTheVolumeAndItsFilesComeBackByteForByte) {
    const std::string image = damaged_demo();
    SectorReader reader(AccessMode::Device);
    reader.open_device(FileDevice::open(image).value());
    HitLists hits;
    SilentProgress progress;
    StopFlag stop{0};
    const Lba end = reader.total_sectors() - 1;
    sweep_sectors(reader, 0, end, 60, hits, progress, stop);
    const CandidateList candidates = classify_hits(reader, end, hits, progress, stop);

    // Its backup boot sector after the volume's last sector gives its real geometry.
    const auto found = std::find_if(candidates.begin(), candidates.end(),
                                    [](const FsCandidate& c) { return c.start == 2048; });
    ASSERT_NE(found, candidates.end());
    EXPECT_EQ(found->sectorsPerCluster, 8u);
    EXPECT_EQ(found->end, 2048u + 98303);
    const auto number = static_cast<uint16_t>(found - candidates.begin() + 1);

    NtfsScan scan;
    reconstruct_candidate(reader, hits, candidates, number, scan, progress, stop);
    const auto byPath = test::items_by_path(scan);
    const fs::path target = test::temp_path("lost-out");
    fs::remove_all(target);
    fs::create_directories(target);
    RecoverySettings settings;
    RecoveryRun run;
    RecoveryContext context(reader, scan, settings, progress, run);
    const std::vector<RecoveryRow> rows = root_rows(scan);
    run_recovery(context, rows, TargetFolder::open(target.string()).value());

    size_t compared = 0;
    for (const auto& e : test::read_manifest(test::source_data_path("demo.manifest.tsv"))) {
        if (e.partition != 1)
            continue;
        ASSERT_TRUE(byPath.count(e.path)) << e.path;
        EXPECT_EQ(byPath.at(e.path).deleted, e.deleted) << e.path;
        if (e.folder || e.sha256.empty())
            continue;
        EXPECT_EQ(test::sha256_of_file((target / e.path.substr(1)).string()), e.sha256) << e.path;
        ++compared;
    }
    EXPECT_GT(compared, 30u);
    fs::remove(image);
}

TEST(LostVolume, PartitionWithoutATableEntryIsFoundAndRecovered) {
    // The demo disk's fourth volume lost its partition entry; its boot sectors are intact.
    const auto reader = test::open_image("demo");
    HitLists hits;
    SilentProgress progress;
    StopFlag stop{0};
    const Lba end = reader->total_sectors() - 1;
    sweep_sectors(*reader, 0, end, 60, hits, progress, stop);
    const CandidateList candidates = classify_hits(*reader, end, hits, progress, stop);
    std::vector<std::string> labels;
    for (const FsCandidate& c : candidates)
        labels.push_back(c.label());
    EXPECT_EQ(labels, (std::vector<std::string>{"NTFS @2048", "NTFS @184320", "NTFS @233472"}));
    ASSERT_EQ(candidates.size(), 3u);
    EXPECT_EQ(candidates[2].end, 262143u);

    NtfsScan scan;
    reconstruct_candidate(*reader, hits, candidates, 3, scan, progress, stop);
    const auto byPath = test::items_by_path(scan);
    const fs::path target = test::temp_path("lost-partition");
    fs::remove_all(target);
    fs::create_directories(target);
    RecoverySettings settings;
    RecoveryRun run;
    RecoveryContext context(*reader, scan, settings, progress, run);
    const std::vector<RecoveryRow> rows = root_rows(scan);
    run_recovery(context, rows, TargetFolder::open(target.string()).value());
    for (const auto& e : test::read_manifest(test::source_data_path("demo_lost.manifest.tsv"))) {
        ASSERT_TRUE(byPath.count(e.path)) << e.path;
        EXPECT_EQ(byPath.at(e.path).deleted, e.deleted) << e.path;
        if (!e.folder) {
            EXPECT_EQ(test::sha256_of_file((target / e.path.substr(1)).string()), e.sha256)
                << e.path;
        }
    }
}

} // namespace
} // namespace salvex
