// How far a volume's files may reach: its size from the scan, its boot sector or its device,
// and the device's end.
#include "recovery/volume_bounds.h"
#include "tests/support/ntfs_builder.h"

#include <array>
#include <gtest/gtest.h>
#include <optional>

namespace salvex {
namespace {

constexpr Lba kStart = 2048;

// The bounds of `volume` on a disk of `diskSectors` whose volume starts with `boot` (when given).
VolumeBounds bounds_on(uint64_t diskSectors, const VolumeInfo& volume,
                       std::optional<std::array<uint8_t, kSectorSize>> boot) {
    auto disk = std::make_unique<test::MemoryDevice>(diskSectors);
    if (boot)
        disk->write(kStart, *boot);
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(disk));
    return volume_bounds(reader, volume);
}

TEST(VolumeBounds, SizeFromTheScanTheBootSectorOrTheDeviceClustersAlsoByTheDevice) {
    VolumeInfo scanned;
    scanned.fsStart = kStart;
    scanned.sectorsPerCluster = 8;
    const auto boot = test::ntfs_boot_sector({.totalSectors = 80'000});
    // A Standard Scan leaves no end: the boot sector tells the size.
    auto b = bounds_on(kStart + 100'000, scanned, boot);
    EXPECT_EQ(b.bytes, 80'000u * 512);
    EXPECT_EQ(b.clusters, 10'000u);
    // An image cut short: the clusters it lacks are not read, the size stays the volume's.
    b = bounds_on(kStart + 40'000, scanned, boot);
    EXPECT_EQ(b.bytes, 80'000u * 512);
    EXPECT_EQ(b.clusters, 5'000u);

    // A candidate found through its boot sector ends at its backup boot sector.
    VolumeInfo candidate = scanned;
    candidate.mftStart = kStart + 32;
    candidate.fsEnd = kStart + 60'000;
    b = bounds_on(kStart + 100'000, candidate, std::nullopt);
    EXPECT_EQ(b.bytes, 60'000u * 512);
    EXPECT_EQ(b.clusters, 7'500u);

    // One made from folders ends where the sweep ended, which says nothing of its size.
    candidate.mftStart = 0;
    candidate.fsEnd = kStart + 1'000;
    b = bounds_on(kStart + 100'000, candidate, std::nullopt);
    EXPECT_EQ(b.bytes, 100'000u * 512);
    EXPECT_EQ(b.clusters, 12'500u);
}

TEST(VolumeBounds, BootSectorOfLargeSectorsCountsThem) {
    // 10,000 sectors of 4,096 bytes: 80,000 of 512.
    auto boot = test::ntfs_boot_sector({.totalSectors = 10'000});
    boot[0x0B] = 0x00;
    boot[0x0C] = 0x10;
    VolumeInfo volume;
    volume.fsStart = kStart;
    volume.sectorsPerCluster = 8;
    const VolumeBounds b = bounds_on(kStart + 100'000, volume, boot);
    EXPECT_EQ(b.bytes, 80'000u * 512);
    EXPECT_EQ(b.clusters, 10'000u);
}

TEST(VolumeBounds, ACompressedFilesRunsAreBoundedToTheEndOfItsLastUnit) {
    FileData file;
    file.kind = FileData::Kind::NonResident;
    file.compressed = true;
    file.compressionUnitClusters = 16;
    // 20 clusters of data: units 0 and 1 are read, cluster 30 is the last of unit 1.
    file.runs = {{100, 16, false}, {5'000, 4, false}, {9'990, 12, false}, {20'000, 50, false}};
    uint64_t size = 20 * 4096;
    const FileDamage damage = bound_to_volume(file, size, {1u << 30, 10'000}, 8);
    EXPECT_TRUE(damage.runsBeyondVolume);
    EXPECT_FALSE(damage.sizeBeyondVolume);
    EXPECT_EQ(damage.reason(), "its runs reach past the volume");
    // The run from 9,990 keeps its 10 clusters inside; the rest is a hole. The last run is not
    // read at all and stays as it was.
    const RunList expected = {
        {100, 16, false}, {5'000, 4, false}, {9'990, 10, false}, {0, 2, true}, {20'000, 50, false}};
    EXPECT_EQ(file.runs, expected);
}

} // namespace
} // namespace salvex
