// The Advance Scan over real volumes (made by mkntfs and ntfs-3g) damaged the ways disks get
// damaged: redundant header fields overwritten, sectors that cannot be read, records and index
// blocks zeroed, boot sectors and the partition table gone.
#include "tests/advscan/damaged_image.h"
#include "tests/support/scanned_volume.h"

#include <gtest/gtest.h>
#include <set>

namespace salvex {
namespace {

using test::AdvanceScan;

// The demo disk's first volume: partition 1 at 2048, 98,304 sectors.
constexpr Lba kDemoStart = 2048;
constexpr uint64_t kDemoSectors = 98304;

std::set<std::pair<std::string, Lba>> file_hits(const HitLists& hits) {
    std::set<std::pair<std::string, Lba>> out;
    for (const FileRecordHit& f : hits.files)
        out.insert({f.name, f.sector});
    return out;
}

// Every item the demo disk's manifest lists on partition 1 is at its path, deleted or not.
void expect_demo_volume(const NtfsScan& scan) {
    const auto byPath = test::items_by_path(scan);
    for (const auto& e : test::read_manifest(test::source_data_path("demo.manifest.tsv"))) {
        if (e.partition != 1)
            continue;
        const auto item = byPath.find(e.path);
        ASSERT_NE(item, byPath.end()) << e.path;
        EXPECT_EQ(item->second.deleted, e.deleted) << e.path;
        if (!e.folder) {
            EXPECT_EQ(item->second.size, e.size) << e.path;
        }
    }
}

TEST(DamagedVolume, AWrongAllocatedSizeInEveryRecordLosesNothing) {
    AdvanceScan intact(test::image_in_memory("demo"));
    intact.sweep();

    auto disk = test::image_in_memory("demo");
    const auto records = test::file_record_sectors(*disk, kDemoStart, kDemoSectors);
    ASSERT_GT(records.size(), 60u);
    uint16_t wrong = 0;
    for (const Lba s : records) {
        wrong = static_cast<uint16_t>(wrong * 31 + 4097); // anything but 1,024
        disk->sector(s)[0x1C] = static_cast<uint8_t>(wrong);
        disk->sector(s)[0x1D] = static_cast<uint8_t>(wrong >> 8);
    }
    AdvanceScan damaged(std::move(disk));
    damaged.sweep();
    EXPECT_EQ(file_hits(damaged.hits), file_hits(intact.hits));
    EXPECT_EQ(damaged.hits.folders.size(), intact.hits.folders.size());
    ASSERT_TRUE(damaged.reconstruct(kDemoStart));
    expect_demo_volume(damaged.scan);
}

} // namespace
} // namespace salvex
