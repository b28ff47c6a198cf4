// Raw images split into numbered segment files, read as one disk.
#include "disk/open_image.h"
#include "disk/split_raw_device.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

namespace salvex {
namespace {

namespace fs = std::filesystem;

// A folder of segment files whose bytes, one after the other, count up from 0 (mod 251, so that
// no two nearby offsets hold the same byte).
class SplitImage : public ::testing::Test {
protected:
    // Writes the segments named `names` with `sizes` bytes each; returns the first one's path.
    std::string write_segments(const std::vector<std::string>& names,
                               const std::vector<size_t>& sizes) {
        for (size_t i = 0; i < names.size(); ++i) {
            std::ofstream out(folder_ / names[i], std::ios::binary);
            for (size_t b = 0; b < sizes[i]; ++b)
                out.put(static_cast<char>(byte_at(written_++)));
        }
        return (folder_ / names.front()).string();
    }

    static uint8_t byte_at(uint64_t offset) { return static_cast<uint8_t>(offset % 251); }

    static std::vector<uint8_t> expected(uint64_t offset, size_t length) {
        std::vector<uint8_t> bytes(length);
        for (size_t i = 0; i < length; ++i)
            bytes[i] = byte_at(offset + i);
        return bytes;
    }

    const fs::path folder_ = test::empty_temp_folder("split");
    uint64_t written_ = 0;
};

TEST_F(SplitImage, SegmentsOfDifferentSizesReadAsOneDisk) {
    const std::string first =
        write_segments({"disk.001", "disk.002", "disk.003", "disk.004"}, {1000, 1536, 4096, 700});
    auto device = open_image_or_device(first);
    ASSERT_TRUE(device.ok()) << device.error();
    EXPECT_EQ(device.value()->size_bytes(), 1000u + 1536 + 4096 + 700);

    // Reads that start, end or lie in each segment, and reads across one, two and three
    // boundaries (the last, short segment included).
    for (const auto& [offset, length] : std::vector<std::pair<uint64_t, size_t>>{{0, 512},
                                                                                 {512, 512},
                                                                                 {900, 200},
                                                                                 {2400, 512},
                                                                                 {900, 3000},
                                                                                 {0, 7332},
                                                                                 {7000, 332},
                                                                                 {6632, 700},
                                                                                 {999, 1},
                                                                                 {1000, 1}}) {
        std::vector<uint8_t> out(length, 0xEE);
        ASSERT_TRUE(device.value()->read_at(offset, out)) << offset << "+" << length;
        EXPECT_EQ(out, expected(offset, length)) << offset << "+" << length;
    }
    // Past the last segment's end nothing is read.
    std::vector<uint8_t> out(512);
    EXPECT_FALSE(device.value()->read_at(7332 - 511, out));
    EXPECT_FALSE(device.value()->read_at(8192, out));
}

TEST_F(SplitImage, SectorReaderReadsAcrossABoundaryInsideASector) {
    const std::string first =
        write_segments({"disk.img.aa", "disk.img.ab", "disk.img.ac"}, {3001, 2000, 1000});
    auto device = open_image_or_device(first);
    ASSERT_TRUE(device.ok()) << device.error();
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(device).value());
    EXPECT_EQ(reader.total_sectors(), 6001u / 512);
    std::vector<uint8_t> sectors(4 * 512);
    ASSERT_TRUE(reader.read_sectors(5, 4, sectors)); // bytes 2560 to 4608 span .aa and .ab
    EXPECT_EQ(sectors, expected(5 * 512, 4 * 512));
}

TEST_F(SplitImage, ManySegmentsAreReadWithFewFilesOpen) {
    std::vector<std::string> names;
    for (int i = 1; i <= 150; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "disk.%03d", i);
        names.push_back(name);
    }
    const std::string first = write_segments(names, std::vector<size_t>(names.size(), 700));
    auto opened = SplitRawDevice::open([&] {
        std::vector<std::string> paths;
        for (const auto& n : names)
            paths.push_back((folder_ / n).string());
        return paths;
    }());
    ASSERT_TRUE(opened.ok()) << opened.error();
    static_assert(SplitRawDevice::kMaxOpenSegments < 150);
    const SplitRawDevice& device = *opened.value();
    // Forwards, then backwards, so that closed segments must be opened again.
    for (const bool forwards : {true, false}) {
        for (uint64_t i = 0; i + 1024 <= 150 * 700; i += 1024) {
            const uint64_t at = forwards ? i : 150 * 700 - 1024 - i;
            std::vector<uint8_t> out(1024);
            ASSERT_TRUE(device.read_at(at, out)) << at;
            ASSERT_EQ(out, expected(at, 1024)) << at;
        }
    }
    auto found = open_image_or_device(first);
    ASSERT_TRUE(found.ok()) << found.error();
    EXPECT_EQ(found.value()->size_bytes(), 150u * 700);
}

TEST_F(SplitImage, MissingMiddleSegmentIsRefused) {
    const std::string first =
        write_segments({"disk.001", "disk.002", "disk.004"}, {1024, 1024, 1024});
    const auto device = open_image_or_device(first);
    ASSERT_FALSE(device.ok());
    EXPECT_NE(device.error().find("disk.003 is missing"), std::string::npos) << device.error();

    // Also when the gap is the second segment, which would otherwise leave a plain raw image.
    fs::remove(folder_ / "disk.002");
    const auto without = open_image_or_device(first);
    ASSERT_FALSE(without.ok());
    EXPECT_NE(without.error().find("disk.002 is missing"), std::string::npos) << without.error();
}

TEST_F(SplitImage, FirstSegmentAloneIsARawImage) {
    const std::string first = write_segments({"photo.001"}, {2048});
    write_segments({"other.002"}, {512}); // another image's segment changes nothing
    const auto device = open_image_or_device(first);
    ASSERT_TRUE(device.ok()) << device.error();
    EXPECT_EQ(device.value()->size_bytes(), 2048u);
}

TEST_F(SplitImage, SecondSegmentOfAZeroBasedSplitIsNotTakenForTheFirst) {
    write_segments({"disk.00", "disk.01", "disk.02"}, {512, 512, 100});
    const auto whole = open_image_or_device((folder_ / "disk.00").string());
    ASSERT_TRUE(whole.ok()) << whole.error();
    EXPECT_EQ(whole.value()->size_bytes(), 1124u);
    const auto second = open_image_or_device((folder_ / "disk.01").string());
    ASSERT_FALSE(second.ok());
    EXPECT_NE(second.error().find("open its first segment disk.00"), std::string::npos);
}

TEST(SegmentNames, NextNamesCountInTheirOwnNaming) {
    const auto next = [](const std::string& fileName) -> std::string {
        const auto name = parse_segment_name(fileName);
        if (!name)
            return "not a segment";
        return segment_file_name(name->naming, name->index + 1).value_or("none");
    };
    EXPECT_EQ(next("disk.001"), "disk.002");
    EXPECT_EQ(next("disk.img.009"), "disk.img.010");
    EXPECT_EQ(next("disk.999"), "disk.1000");
    EXPECT_EQ(next("disk.aa"), "disk.ab");
    EXPECT_EQ(next("disk.az"), "disk.ba");
    EXPECT_EQ(next("disk.AZ"), "disk.BA");
    EXPECT_EQ(next("disk.azz"), "disk.baa");
    EXPECT_EQ(next("disk.zz"), "none");
    EXPECT_EQ(next("disk.img"), "disk.imh"); // named like one; only a first one is looked at
    for (const char* plain : {"disk", "disk.1", "disk.E01", "disk.Ab", ".001", "disk.a1"})
        EXPECT_EQ(next(plain), "not a segment") << plain;

    EXPECT_TRUE(is_first_segment_name("disk.001"));
    EXPECT_TRUE(is_first_segment_name("disk.000"));
    EXPECT_TRUE(is_first_segment_name("disk.aa"));
    EXPECT_TRUE(is_first_segment_name("disk.AAA"));
    EXPECT_FALSE(is_first_segment_name("disk.002"));
    EXPECT_FALSE(is_first_segment_name("disk.ab"));
    EXPECT_FALSE(is_first_segment_name("disk.img"));
}

} // namespace
} // namespace salvex
