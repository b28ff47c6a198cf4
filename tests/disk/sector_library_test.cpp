#include "disk/drive_table.h"
#include "disk/image_sector_library.h"
#include "disk/sector_library.h"
#include "disk/sector_reader.h"
#include "tests/support/test_images.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex {
namespace {

TEST(LibraryMode, LbaBecomesCylinderHeadSectorOfSixteenHeads) {
    EXPECT_EQ(lba_to_chs(0), (ChsAddress{0, 0, 1}));
    EXPECT_EQ(lba_to_chs(62), (ChsAddress{0, 0, 63}));
    EXPECT_EQ(lba_to_chs(63), (ChsAddress{0, 1, 1}));
    EXPECT_EQ(lba_to_chs(1007), (ChsAddress{0, 15, 63}));
    EXPECT_EQ(lba_to_chs(1008), (ChsAddress{1, 0, 1}));
    EXPECT_EQ(lba_to_chs(0xFFFFFFFF), (ChsAddress{4260880, 4, 4}));
}

TEST(LibraryMode, OddPlatformIdentifiersReadThroughTheLibrary) {
    EXPECT_EQ(access_mode_for_platform(1), AccessMode::Library);
    EXPECT_EQ(access_mode_for_platform(2), AccessMode::Device);
    EXPECT_EQ(access_mode_for_platform(0), AccessMode::Device);
}

struct FailureCase {
    ImageLibraryLoader::Options options;
    const char* message;
};

TEST(LibraryMode, EachMissingPieceHasItsMessage) {
    using Options = ImageLibraryLoader::Options;
    const std::vector<FailureCase> cases = {
        {Options{.hasSect32 = false}, "Sect32.dll not found or corrupted"},
        {Options{.missingCalls = {"ReadSect32"}}, "Sect32.dll is corrupted"},
        {Options{.missingCalls = {"CheckInt13Extension32"}}, "Sect32.dll is corrupted"},
        {Options{.hasSect2 = false}, "Sect2.dll is corrupted or not found."},
        {Options{.missingCalls = {"get_drive_geometry32"}}, "Sect2.dll is corrupted"},
        {Options{.missingCalls = {"find_hard_sect32"}}, "Sect32.dll is corrupted"},
    };
    for (const auto& c : cases) {
        ImageLibraryLoader loader({}, c.options);
        const auto library = load_sector_libraries(loader);
        ASSERT_FALSE(library.ok()) << c.message;
        EXPECT_EQ(library.error(), c.message);
    }
    // A missing first library is reported before anything else is looked at.
    ImageLibraryLoader nothing({}, Options{.hasSect32 = false, .hasSect2 = false});
    EXPECT_EQ(load_sector_libraries(nothing).error(), "Sect32.dll not found or corrupted");
}

class LibraryImages : public ::testing::Test {
protected:
    void SetUp() override {
        for (int d = 0; d < 2; ++d) {
            paths_.push_back(test::temp_path("bios-" + std::to_string(d) + ".img"));
            // 2,100 sectors: two whole cylinders of 16 × 63 and a tail the BIOS does not count.
            std::vector<uint8_t> bytes(2100 * kSectorSize);
            for (size_t s = 0; s < 2100; ++s)
                std::memset(bytes.data() + s * kSectorSize, static_cast<int>((s + d) & 0xFF),
                            kSectorSize);
            std::ofstream(paths_.back(), std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
    }
    std::vector<std::string> paths_;
};

TEST_F(LibraryImages, DrivesAreListedThroughTheLibrary) {
    ImageLibraryLoader loader(paths_);
    const auto library = load_sector_libraries(loader);
    ASSERT_TRUE(library.ok());
    const DriveTable drives = enumerate_library_drives(*library);
    ASSERT_EQ(drives.size(), 2u);
    for (const DriveInfo& d : drives) {
        EXPECT_EQ(d.name, "Unknown");
        EXPECT_EQ(d.cylinders, 2u);
        EXPECT_EQ(d.heads, 16u);
        EXPECT_EQ(d.sectorsPerTrack, 63u);
        EXPECT_EQ(d.totalSectors, 2016u);
        EXPECT_EQ(d.int13Extensions, 1u);
    }
}

TEST_F(LibraryImages, ReadsReachTheSelectedDriveByLbaOrByCylinderHeadSector) {
    for (const uint32_t int13 : {1u, 0u}) {
        ImageLibraryLoader loader(paths_, {.int13Extensions = int13});
        auto library = load_sector_libraries(loader);
        ASSERT_TRUE(library.ok());
        const auto shared = std::make_shared<const SectorLibrary>(std::move(library).value());
        const DriveTable drives = enumerate_library_drives(*shared);
        SectorReader reader(AccessMode::Library, shared);
        reader.select_library_drive(1, drives[1].int13Extensions, drives[1].totalSectors);
        EXPECT_EQ(reader.total_sectors(), 2016u);

        std::vector<uint8_t> buffer(3 * kSectorSize);
        ASSERT_TRUE(reader.read_sectors(1007, 3, buffer)) << int13;
        EXPECT_EQ(buffer[0], (1007 + 1) & 0xFF);
        EXPECT_EQ(buffer[kSectorSize], (1008 + 1) & 0xFF);
        EXPECT_EQ(buffer[2 * kSectorSize], (1009 + 1) & 0xFF);
        // No retry pass in library mode: a read the library refuses is simply a failure.
        EXPECT_FALSE(reader.read_sectors(2099, 2, buffer));
    }
}

} // namespace
} // namespace salvex
