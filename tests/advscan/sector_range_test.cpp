// The sector range both front ends read: numbers, order, and the drive's end.
#include "advscan/sector_range.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

constexpr uint64_t kDemoSectors = 262144; // the demo disk: sectors 0 to 262143

std::string refusal(std::string_view start, std::string_view end,
                    uint64_t driveSectors = kDemoSectors) {
    const auto range = parse_sector_range(start, end, driveSectors);
    return range ? std::string() : range.error();
}

TEST(SectorRange, WhatIsNotARangeIsRefusedWithTheWizardsSentences) {
    for (const char* start : {"abc", "-1", "", "   ", "+5", "1 2", "18446744073709551616"})
        EXPECT_EQ(refusal(start, "10"), kStartSectorInvalid) << '"' << start << '"';
    EXPECT_EQ(refusal("0", "1x"), kEndSectorInvalid);
    EXPECT_EQ(refusal("x", "y"), kStartSectorInvalid); // the start is judged first
    EXPECT_EQ(refusal("0", "0"), kEndNotAboveStart);
    EXPECT_EQ(refusal("20", "10"), kEndNotAboveStart);
}

TEST(SectorRange, EndPastTheDrivesLastSectorIsRefusedNamingThatSector) {
    EXPECT_EQ(refusal("0", "999999"),
              "The end sector 999999 lies past the drive's last sector, 262143.");
    EXPECT_EQ(refusal("262143", "262145"),
              "The end sector 262145 lies past the drive's last sector, 262143.");
    // The sweep stops before the end sector, so the drive's sector count reaches its last one.
    const auto whole = parse_sector_range("0", "262144", kDemoSectors);
    ASSERT_TRUE(whole.ok());
    EXPECT_EQ(whole->count(), kDemoSectors);
    // A drive of unknown size is not judged.
    EXPECT_TRUE(parse_sector_range("0", "999999", 0).ok());
    // A wrong order is said before the drive's end.
    EXPECT_EQ(refusal("999999", "999998"), kEndNotAboveStart);
}

TEST(SectorRange, BlanksAroundNumbersAreAllowedAndLargeDisksReached) {
    const auto range = parse_sector_range(" 2048 ", "\t5000000000", 6000000000);
    ASSERT_TRUE(range.ok()) << range.error();
    EXPECT_EQ(range->start, 2048u);
    EXPECT_EQ(range->end, 5000000000u); // beyond 32 bits: disks over 2 TiB
    EXPECT_EQ(range->count(), 5000000000u - 2048);
}

} // namespace
} // namespace salvex
