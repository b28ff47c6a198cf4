// The sweep's range as typed in the drive's own sectors, and the sweep-then-classify step both
// front ends take.
#include "advscan/range_input.h"
#include "advscan/sweep_and_classify.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace salvex {
namespace {

// A 4Kn disk of 12288 sectors: 98304 of the engine's 512-byte sectors.
constexpr uint64_t k4knDrive = 98304;

TEST(DriveRange, FourKnSectorsBecomeEightEngineSectorsEach) {
    const auto range = parse_drive_range(" 256", "12032\t", k4knDrive, 4096);
    ASSERT_TRUE(range) << range.error();
    EXPECT_EQ(range->start, 2048u);
    EXPECT_EQ(range->end, 12032u * 8);
    // The whole drive is its sector count; one more is refused naming its own last sector.
    EXPECT_TRUE(parse_drive_range("0", "12288", k4knDrive, 4096));
    const auto past = parse_drive_range("0", "12289", k4knDrive, 4096);
    ASSERT_FALSE(past);
    EXPECT_EQ(past.error(), "The end sector 12289 lies past the drive's last sector, 12287.");
}

TEST(DriveRange, SectorsOf512BytesOrAnUnknownSizeCountAsThemselves) {
    for (const uint32_t size : {0u, 256u, 512u}) {
        EXPECT_EQ(sector_unit(size), 1u) << size;
        const auto range = parse_drive_range("10", "20", 1000, size);
        ASSERT_TRUE(range) << size;
        EXPECT_EQ(range->count(), 10u);
    }
}

TEST(DriveRange, AnEndTheUnitWouldCarryPastTheLargestSectorIsRefused) {
    // Only a drive of unknown size lets such a number through to the conversion.
    EXPECT_EQ(parse_drive_range("0", "18446744073709551615", 0, 4096).error(), kEndSectorInvalid);
    EXPECT_TRUE(parse_drive_range("0", "18446744073709551615", 0, 512));
}

// Candidates by their first sector.
std::vector<Lba> starts(const CandidateList& candidates) {
    std::vector<Lba> out;
    for (const FsCandidate& c : candidates)
        out.push_back(c.start);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(SweepAndClassify, EachSweepFindsTheVolumesOfItsOwnRangeOnly) {
    // The demo disk: NTFS partition 1 at 2048 (FAT32 after it) and a lost NTFS volume (no table
    // entry) at 233472.
    const auto reader = test::open_image("demo");
    HitLists hits;
    SilentProgress progress;
    StopFlag stop{0};
    EXPECT_EQ(starts(sweep_and_classify(*reader, {233472, 262144}, 60, hits, progress, stop)),
              std::vector<Lba>{233472});
    EXPECT_FALSE(hits.bootSectors.empty());
    // A second sweep into the same lists forgets the first one's hits.
    EXPECT_EQ(starts(sweep_and_classify(*reader, {2048, 100352}, 60, hits, progress, stop)),
              std::vector<Lba>{2048});
    EXPECT_TRUE(sweep_and_classify(*reader, {5, 5}, 60, hits, progress, stop).empty());
    EXPECT_TRUE(hits.bootSectors.empty());
}

} // namespace
} // namespace salvex
