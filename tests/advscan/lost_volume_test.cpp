// A volume whose partition entry was deleted and whose first 64 KiB were overwritten (boot
// sector and first $MFT records gone) is found by the Advance Scan, and its files come back.
#include "disk/block_device.h"
#include "tests/advscan/damaged_image.h"
#include "tests/support/test_images.h"

#include <algorithm>
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
    test::AdvanceScan advance(FileDevice::open(image).value());
    advance.sweep();
    // Its backup boot sector after the volume's last sector gives its real geometry.
    const auto found = std::find_if(advance.candidates.begin(), advance.candidates.end(),
                                    [](const FsCandidate& c) { return c.start == 2048; });
    ASSERT_NE(found, advance.candidates.end());
    EXPECT_EQ(found->sectorsPerCluster, 8u);
    EXPECT_EQ(found->end, 2048u + 98303);
    EXPECT_GT(test::expect_recovered_as_written(
                  advance, 2048, "demo.manifest.tsv",
                  [](const test::ManifestEntry& e) { return e.partition != 1; }),
              30u);
    fs::remove(image);
}

TEST(LostVolume, PartitionWithoutATableEntryIsFoundAndRecovered) {
    // The demo disk's fourth volume lost its partition entry; its boot sectors are intact.
    test::AdvanceScan advance(FileDevice::open(test::image_path("demo")).value());
    advance.sweep();
    std::vector<std::string> labels;
    for (const FsCandidate& c : advance.candidates)
        labels.push_back(c.label());
    EXPECT_EQ(labels, (std::vector<std::string>{"NTFS @2048", "NTFS @184320", "NTFS @233472"}));
    ASSERT_EQ(advance.candidates.size(), 3u);
    EXPECT_EQ(advance.candidates[2].end, 262143u);
    EXPECT_GT(test::expect_recovered_as_written(advance, 233472, "demo_lost.manifest.tsv", {}), 0u);
}

} // namespace
} // namespace salvex
