#include "disk/sector_reader.h"
#include "tests/support/memory_device.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace salvex {
namespace {

using test::AddressDevice;
using test::MemoryDevice;

// A 100-sector disk whose every byte of sector s is s & 0xFF.
std::unique_ptr<MemoryDevice> numbered_disk(uint64_t sectors = 100) {
    auto device = std::make_unique<MemoryDevice>(sectors);
    for (uint64_t s = 0; s < sectors; ++s)
        std::memset(device->sector(s), static_cast<int>(s & 0xFF), kSectorSize);
    return device;
}

bool sector_holds(const std::vector<uint8_t>& buffer, size_t index, uint8_t value) {
    for (size_t i = 0; i < kSectorSize; ++i) {
        if (buffer[index * kSectorSize + i] != value)
            return false;
    }
    return true;
}

size_t reads_of_sector(const MemoryDevice& device, Lba sector) {
    size_t n = 0;
    for (const auto& r : device.reads())
        n += (r.offset == sector * kSectorSize && r.length == kSectorSize);
    return n;
}

TEST(SectorReader, HealthyReadDeliversSectorsInOrder) {
    SectorReader reader(AccessMode::Device);
    reader.open_device(numbered_disk());
    std::vector<uint8_t> buffer(10 * kSectorSize);
    ASSERT_TRUE(reader.read_sectors(40, 10, buffer));
    for (size_t i = 0; i < 10; ++i)
        EXPECT_TRUE(sector_holds(buffer, i, static_cast<uint8_t>(40 + i))) << i;
    EXPECT_EQ(reader.total_sectors(), 100u);
}

TEST(SectorReader, WithoutAnOpenDriveEveryReadFailsAndLeavesTheBuffer) {
    std::vector<uint8_t> buffer(kSectorSize, 0xEE);
    SectorReader unset;
    EXPECT_FALSE(unset.read_sectors(0, 1, buffer));
    SectorReader closed(AccessMode::Device);
    EXPECT_FALSE(closed.read_sectors(0, 1, buffer));
    closed.open_device(numbered_disk());
    closed.close_device();
    EXPECT_FALSE(closed.read_sectors(1, 1, buffer));
    EXPECT_TRUE(sector_holds(buffer, 0, 0xEE));
}

TEST(SectorReader, BufferSmallerThanTheRequestIsRefused) {
    SectorReader reader(AccessMode::Device);
    reader.open_device(numbered_disk());
    std::vector<uint8_t> buffer(2 * kSectorSize - 1, 0xEE);
    EXPECT_FALSE(reader.read_sectors(0, 2, buffer));
    EXPECT_EQ(buffer[0], 0xEE);
}

TEST(SectorReader, BadSectorInTheMiddleIsRetriedAndTheRestArrives) {
    auto disk = numbered_disk();
    disk->fail_sector(30);
    MemoryDevice& device = *disk;
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(disk));
    std::vector<uint8_t> buffer(60 * kSectorSize, 0xEE);

    // The last sector of the request was read, so the read counts as a success.
    EXPECT_TRUE(reader.read_sectors(0, 60, buffer));
    for (size_t i = 0; i < 60; ++i) {
        if (i != 30) {
            EXPECT_TRUE(sector_holds(buffer, i, static_cast<uint8_t>(i))) << i;
        }
    }
    EXPECT_TRUE(sector_holds(buffer, 30, 0xEE)); // untouched by the failed reads
    EXPECT_EQ(reads_of_sector(device, 30), kDefaultBadSectorRetries);
    EXPECT_EQ(reads_of_sector(device, 29), 1u);
    EXPECT_EQ(device.reads().size(), 1u + 59u + kDefaultBadSectorRetries);
}

TEST(SectorReader, ResultIsThatOfTheLastSectorRead) {
    auto disk = numbered_disk();
    disk->fail_sector(59);
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(disk));
    std::vector<uint8_t> buffer(60 * kSectorSize, 0xEE);
    EXPECT_FALSE(reader.read_sectors(0, 60, buffer));
    EXPECT_TRUE(sector_holds(buffer, 58, 58));
    EXPECT_TRUE(sector_holds(buffer, 59, 0xEE));
}

TEST(SectorReader, RetryCountIsTakenFromTheSettingAtEachPass) {
    auto disk = numbered_disk();
    disk->fail_sector(5);
    MemoryDevice& device = *disk;
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(disk));
    std::vector<uint8_t> buffer(8 * kSectorSize);

    reader.set_bad_sector_retries(7);
    EXPECT_TRUE(reader.read_sectors(0, 8, buffer));
    EXPECT_EQ(reads_of_sector(device, 5), 7u);

    // With no retries a failed bulk read is final: no sector is read alone.
    reader.set_bad_sector_retries(0);
    const size_t before = device.reads().size();
    EXPECT_FALSE(reader.read_sectors(0, 8, buffer));
    EXPECT_EQ(device.reads().size(), before + 1);
}

TEST(SectorReader, ReadPastTheEndOfAnImageFails) {
    SectorReader reader(AccessMode::Device);
    reader.open_device(numbered_disk(10));
    std::vector<uint8_t> buffer(4 * kSectorSize, 0xEE);
    // Sectors 8 and 9 exist, 10 and 11 do not: the short read fails, and so does the last
    // sector of the retry pass; the sectors that exist still arrive.
    EXPECT_FALSE(reader.read_sectors(8, 4, buffer));
    EXPECT_TRUE(sector_holds(buffer, 0, 8));
    EXPECT_TRUE(sector_holds(buffer, 1, 9));
    EXPECT_FALSE(reader.read_sectors(10, 1, buffer));
}

TEST(SectorReader, SectorsPastTheEndAreNeverRetried) {
    auto disk = numbered_disk(10);
    MemoryDevice& device = *disk;
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(disk));
    reader.set_bad_sector_retries(5);
    std::vector<uint8_t> buffer(64 * kSectorSize);
    // Two sectors exist: one bulk read, then one read of each of them.
    EXPECT_FALSE(reader.read_sectors(8, 64, buffer));
    EXPECT_EQ(device.reads().size(), 3u);
    // A read that starts past the end does not reach the device at all.
    EXPECT_FALSE(reader.read_sectors(1000, 64, buffer));
    EXPECT_EQ(device.reads().size(), 3u);
}

TEST(SectorReader, UnreadableSectorsReadAsZerosAndAreCounted) {
    auto disk = numbered_disk();
    disk->fail_sector(3);
    disk->fail_sector(5);
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(disk));
    // The last sector was read in the end, so read_sectors would say true; the sectors that
    // failed must not keep the 0xEE the buffer held.
    std::vector<uint8_t> buffer(8 * kSectorSize, 0xEE);
    EXPECT_EQ(reader.read_sectors_or_zeros(0, 8, buffer), 2u);
    EXPECT_TRUE(sector_holds(buffer, 3, 0));
    EXPECT_TRUE(sector_holds(buffer, 5, 0));
    EXPECT_TRUE(sector_holds(buffer, 4, 4));
    EXPECT_TRUE(sector_holds(buffer, 7, 7));

    std::fill(buffer.begin(), buffer.end(), uint8_t{0xEE});
    EXPECT_EQ(reader.read_sectors_or_zeros(98, 4, buffer), 2u); // 100 and 101 do not exist
    EXPECT_TRUE(sector_holds(buffer, 1, 99));
    EXPECT_TRUE(sector_holds(buffer, 2, 0));
    EXPECT_TRUE(sector_holds(buffer, 3, 0));
    EXPECT_EQ(reader.read_sectors_or_zeros(10, 8, buffer), 0u);
}

TEST(SectorReader, AddressesBeyondTwoToThe32ReachTheirSector) {
    const uint64_t sectors = uint64_t{6} << 30; // 3 TiB
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::make_unique<AddressDevice>(sectors));
    std::vector<uint8_t> buffer(2 * kSectorSize);
    const Lba far = (uint64_t{1} << 32) + 12345;
    ASSERT_TRUE(reader.read_sectors(far, 2, buffer));
    uint64_t first = 0;
    uint64_t second = 0;
    std::memcpy(&first, buffer.data(), 8);
    std::memcpy(&second, buffer.data() + kSectorSize, 8);
    EXPECT_EQ(first, far);
    EXPECT_EQ(second, far + 1);
    EXPECT_EQ(reader.total_sectors(), sectors);
    EXPECT_FALSE(reader.read_sectors(UINT64_MAX - 1, 2, buffer)); // no wrap-around
}

TEST(SectorReader, ImageFileIsReadWithPositionedReadsBeyondTwoTerabytes) {
    char path[] = "/tmp/salvex-sparse-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const Lba far = (uint64_t{1} << 32) + 7; // past 2 TiB
    const uint64_t size = (far + 1) * kSectorSize;
    const char mark[] = "far sector";
    const bool written =
        ftruncate(fd, static_cast<off_t>(size)) == 0 &&
        pwrite(fd, mark, sizeof mark, static_cast<off_t>(far * kSectorSize)) == sizeof mark;
    close(fd);
    if (!written) {
        unlink(path);
        GTEST_SKIP() << "the temporary file system cannot hold a sparse 2 TiB file";
    }
    auto device = FileDevice::open(path);
    ASSERT_TRUE(device.ok());
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(device).value());
    std::vector<uint8_t> buffer(kSectorSize);
    EXPECT_TRUE(reader.read_sectors(far, 1, buffer));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), "far sector");
    EXPECT_EQ(reader.total_sectors(), far + 1);
    unlink(path);
}

TEST(FileDevice, MissingFileIsAnErrorThatNamesIt) {
    auto device = FileDevice::open("/nonexistent/disk.img");
    ASSERT_FALSE(device.ok());
    EXPECT_NE(device.error().find("/nonexistent/disk.img"), std::string::npos);
}

TEST(FileDevice, PermissionErrorSaysHowToGetAccess) {
    const std::string message = open_error_message("/dev/sdb", EACCES);
    EXPECT_NE(message.find("Permission denied"), std::string::npos);
    EXPECT_NE(message.find("root"), std::string::npos);
    EXPECT_NE(message.find("disk"), std::string::npos);
}

} // namespace
} // namespace salvex

namespace salvex {
namespace {

TEST(FileDevice, FourKnBlockDeviceReportsItsSizeAndReads512ByteSectorsInsideIt) {
    if (geteuid() != 0)
        GTEST_SKIP() << "attaching a loop device needs root";
    const std::string image = test::image_path("ntfs_4kn_gpt");
    FILE* pipe =
        popen(("losetup -r -f --show --sector-size 4096 " + image + " 2>/dev/null").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char name[256] = {};
    const bool attached = fgets(name, sizeof name, pipe) != nullptr;
    pclose(pipe);
    if (!attached)
        GTEST_SKIP() << "no 4Kn loop device could be attached here";
    std::string device(name);
    device.erase(device.find_last_not_of('\n') + 1);

    SectorReader reader(AccessMode::Device);
    reader.open_device(FileDevice::open(device).value());
    const auto fromImage = FileDevice::open(image).value();
    // Sectors 2081 to 2083 lie inside logical sector 260 ($MFT's record 0), past its start: read
    // as the image holds them.
    std::vector<uint8_t> got(3 * kSectorSize);
    std::vector<uint8_t> want(3 * kSectorSize);
    const bool read = reader.read_sectors(2081, 3, got);
    const uint32_t reported = reader.reported_sector_size();
    const uint64_t total = reader.total_sectors();
    reader.close_device();
    std::system(("losetup -d " + device).c_str());
    EXPECT_EQ(reported, 4096u);
    EXPECT_EQ(total, 98304u);
    ASSERT_TRUE(read);
    ASSERT_TRUE(fromImage->read_at(2081 * kSectorSize, want));
    EXPECT_EQ(got, want);
    EXPECT_NE(std::count(want.begin(), want.end(), 0), static_cast<long>(want.size()));
    // An image file reports no sector size of its own.
    EXPECT_EQ(fromImage->logical_sector_size(), 0u);
}

} // namespace
} // namespace salvex
