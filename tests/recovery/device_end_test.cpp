// A volume whose device ends before it does (an image cut short): the clusters past the
// device's end are still the file's, read and found unreadable, while clusters past the
// volume's end are cut away; a live file's share counts only what the device holds.
#include "recovery/recoverability.h"
#include "recovery/volume_bounds.h"
#include "tests/support/ntfs_builder.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

constexpr Lba kStart = 2048;

// The bounds of a volume of 80,000 sectors (10,000 clusters of 8) on a disk that ends
// `deviceSectors` after the volume's start.
VolumeBounds bounds_with_device(uint64_t deviceSectors) {
    auto disk = std::make_unique<test::MemoryDevice>(kStart + deviceSectors);
    disk->write(kStart, test::ntfs_boot_sector({.totalSectors = 80'000}));
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(disk));
    VolumeInfo volume;
    volume.fsStart = kStart;
    volume.sectorsPerCluster = 8;
    return volume_bounds(reader, volume);
}

TEST(DeviceEnd, RunsPastTheDevicesEndStayRunsPastTheVolumesEndBecomeHoles) {
    const VolumeBounds bounds = bounds_with_device(40'000);
    EXPECT_EQ(bounds.volumeClusters, 10'000u);
    EXPECT_EQ(bounds.deviceClusters, 5'000u);
    EXPECT_EQ(bounds.clusters, 5'000u);

    FileData file;
    file.kind = FileData::Kind::NonResident;
    // Across the device's end: read as it is, and nothing is wrong with the record.
    file.runs = {{4'990, 20, false}, {7'000, 10, false}};
    uint64_t size = 30 * 4096;
    EXPECT_FALSE(bound_to_volume(file, size, bounds, 8).any());
    const RunList onDisk = {{4'990, 20, false}, {7'000, 10, false}};
    EXPECT_EQ(file.runs, onDisk);

    // Across the volume's end: cut, and the record is damaged.
    file.runs = {{9'995, 10, false}};
    size = 10 * 4096;
    EXPECT_TRUE(bound_to_volume(file, size, bounds, 8).runsBeyondVolume);
    const RunList cut = {{9'995, 5, false}, {0, 5, true}};
    EXPECT_EQ(file.runs, cut);
}

TEST(DeviceEnd, ALiveFilesShareIsThatOfItsClustersOnTheDevice) {
    const VolumeRuns none;
    const ClusterOwners deviceEnd{none, nullptr, bounds_with_device(40'000).deviceClusters};
    FileData file;
    file.kind = FileData::Kind::NonResident;
    file.runs = {{4'997, 4, false}, {0, 4, true}, {6'000, 2, false}};
    file.initializedSize = file.dataSize = 10 * 4096;
    // 6 clusters on disk, 3 of them before the device's end; the hole counts for nothing.
    EXPECT_EQ(recoverable_percent(file, 10 * 4096, 8, 0, deviceEnd), 50);
    file.runs = {{100, 10, false}};
    EXPECT_EQ(recoverable_percent(file, 10 * 4096, 8, 0, deviceEnd), 100);
}

} // namespace
} // namespace salvex
