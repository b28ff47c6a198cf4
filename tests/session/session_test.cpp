// The session's choices without a window: the range typed, the range page's defaults and the
// partition and whole-drive choices.
#include "advscan/sector_range.h"
#include "session/session.h"
#include "tests/support/test_images.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

TEST(RangeInputTest, TypedRangeIsJudgedAgainstTheCurrentDrive) {
    Session session;
    ASSERT_TRUE(session.add_images({test::image_path("demo")}).empty());
    const uint64_t total = session.drives[0].totalSectors;
    session.state.rangeStart = 7;
    EXPECT_EQ(session.choose_range("0", "999999").error(),
              "The end sector 999999 lies past the drive's last sector, " +
                  std::to_string(total - 1) + ".");
    EXPECT_EQ(session.choose_range("abc", "10").error(),
              "      Start sector value is not valid, It should be a positive number");
    EXPECT_EQ(session.choose_range("0", " ").error(),
              "      End sector value is not valid, It should be a positive number");
    EXPECT_EQ(session.choose_range("10", "10").error(),
              "      End sector should be bigger than start sector");
    EXPECT_EQ(session.state.rangeStart, 7u); // a refused range changes nothing

    // The whole drive, as the range page offers it, is taken.
    EXPECT_TRUE(session.choose_range(" 2048 ", std::to_string(total)));
    EXPECT_EQ(session.state.rangeStart, 2048u);
    EXPECT_EQ(session.state.rangeEnd, total);
    EXPECT_EQ(session.state.rangeCount, total - 2048);
}

TEST(RangeInputTest, FileSystemChoicesMapToTypeCodes) {
    EXPECT_EQ(fs_type_of_choice(0), FsType::Fat16);
    EXPECT_EQ(fs_type_of_choice(1), FsType::Fat32);
    EXPECT_EQ(fs_type_of_choice(2), FsType::Ntfs);
    for (int choice = 0; choice < 3; ++choice)
        EXPECT_EQ(choice_of_fs_type(fs_type_of_choice(choice)), choice);
}

TEST(SessionTest, DemoDiskPartitionsAndRangeDefaults) {
    Session session;
    ASSERT_TRUE(session.add_images({test::image_path("demo")}).empty());
    ASSERT_EQ(session.drives.size(), 1u);
    // Before the walk the range page offers the whole drive, to be swept for NTFS.
    const RangeDefaults whole = session.range_defaults();
    EXPECT_EQ(whole.fsChoice, choice_of_fs_type(FsType::Ntfs));
    EXPECT_EQ(whole.start, 0u);
    EXPECT_EQ(whole.end, session.drives[0].totalSectors);

    ASSERT_TRUE(session.open_current_drive());
    ASSERT_TRUE(session.walk_partitions());
    const PartitionInfo first = session.partitions.entries.front();
    const RangeDefaults defaults = session.range_defaults();
    EXPECT_EQ(defaults.fsChoice, choice_of_fs_type(first.type));
    EXPECT_EQ(defaults.start, first.start);
    EXPECT_EQ(defaults.end, first.start + first.size);

    session.select_partition(1);
    const PartitionInfo second = session.partitions.entries[1];
    EXPECT_EQ(session.state.selectedFsType, second.type);
    EXPECT_EQ(session.state.rangeStart, second.start);
    EXPECT_EQ(session.state.rangeEnd, second.start + second.size - 1);
    EXPECT_EQ(session.state.rangeCount, second.size);
    EXPECT_EQ(session.state.selectedPartitionIndex, 1);

    session.select_whole_drive();
    EXPECT_EQ(session.state.selectedFsType, FsType::Ntfs);
    EXPECT_EQ(session.state.rangeStart, 0u);
    EXPECT_EQ(session.state.rangeEnd, session.drives[0].totalSectors);
    EXPECT_EQ(session.state.selectedPartitionIndex, 0);

    session.close_drive();
    EXPECT_FALSE(session.drive_open());
}

TEST(SessionTest, TheRangePageCountsTheDrivesOwnSectors) {
    // A disk of 4,096-byte sectors: its partition starts at its sector 256 (512-byte sector 2048).
    Session session;
    ASSERT_TRUE(session.add_images({test::image_path("ntfs_4kn_gpt")}).empty());
    ASSERT_TRUE(session.open_current_drive());
    EXPECT_EQ(session.drive_sector_unit(), 8u);
    ASSERT_TRUE(session.walk_partitions());
    const RangeDefaults defaults = session.range_defaults();
    EXPECT_EQ(defaults.start, 256u);
    EXPECT_EQ(defaults.end, 256u + 11776);
    EXPECT_TRUE(session.choose_range("256", "12032"));
    EXPECT_EQ(session.state.rangeStart, 2048u);
    EXPECT_EQ(session.state.rangeEnd, 12032u * 8);
    EXPECT_EQ(session.choose_range("0", "12289").error(),
              end_past_drive_message(12289, session.drives[0].totalSectors / 8));
}

TEST(SessionTest, UnreadableImagesAreRefusedWithAReason) {
    Session session;
    const auto failures = session.add_images({test::temp_path("missing") + ".img"});
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_FALSE(failures[0].empty());
    EXPECT_TRUE(session.drives.empty());
    EXPECT_FALSE(session.open_current_drive());
}

} // namespace
} // namespace salvex
