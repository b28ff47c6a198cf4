#include "disk/drive_table.h"
#include "tests/support/test_images.h"

#include <fstream>
#include <gtest/gtest.h>

namespace salvex {
namespace {

namespace fs = std::filesystem;

// A made-up /sys/block with the kinds of entries real machines have.
class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        // Each test gets its own tree: tests of one suite may run at the same time.
        root_ = test::temp_path("sysfs");
        fs::remove_all(root_);
        fs::create_directories(root_ / "block");
        disk("sdb", 1000, "pci0000:00/0000:00:14.0/usb2/2-1/host6", "Flash Stick     ");
        disk("sda", 16514064, "pci0000:00/ata1/host0", "Samsung SSD 860 \n");
        disk("sdaa", 2048, "pci0000:00/ata9/host9", "Late Disk");
        disk("nvme10n1", 4096, "pci0000:00/nvme/nvme10", "Big NVMe");
        disk("nvme2n1", 4096, "pci0000:00/nvme/nvme2", "Small NVMe");
        disk("sdc", 0, "pci0000:00/ata2/host1", "Card Reader");
        disk("vda", 8192, "pci0000:00/virtio1", "");
        disk("mmcblk0", 8192, "platform/mmc0", "");
        write(root_ / "devices/platform/mmc0/name", "SD32G");
        disk("mmcblk0boot0", 8192, "platform/mmc0b", "");
        disk("loop0", 2048, "virtual/loop0", "");
        write(root_ / "devices/virtual/loop0/block/loop0/loop/backing_file", "/home/me/disk.img\n");
        disk("loop1", 0, "virtual/loop1", ""); // no backing file: not a drive
        disk("ram0", 8192, "virtual/ram0", "");
        disk("zram0", 8192, "virtual/zram0", "");
        disk("dm-0", 8192, "virtual/dm-0", "");
        disk("sr0", 8192, "pci0000:00/ata3/host2", "DVD");
    }

    void write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }

    // /sys/block/NAME links to the device's node under devices/, as the kernel lays it out.
    void disk(const std::string& name, uint64_t sectors, const std::string& bus,
              const std::string& model) {
        const fs::path node = root_ / "devices" / bus / "block" / name;
        fs::create_directories(node);
        write(node / "size", std::to_string(sectors) + "\n");
        fs::create_directory_symlink(root_ / "devices" / bus, node / "device");
        if (!model.empty())
            write(root_ / "devices" / bus / "model", model);
        fs::create_directory_symlink(node, root_ / "block" / name);
    }

    DriveTable enumerate() { return enumerate_block_devices({root_ / "block", "/dev"}); }

    fs::path root_;
};

TEST_F(FakeSysfs, ListsWholeDisksInNaturalOrderWithTheirModels) {
    const DriveTable drives = enumerate();
    std::vector<std::string> paths;
    for (const auto& d : drives)
        paths.push_back(d.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"/dev/loop0", "/dev/mmcblk0", "/dev/nvme2n1",
                                               "/dev/nvme10n1", "/dev/sda", "/dev/sdb", "/dev/sdc",
                                               "/dev/sdaa", "/dev/vda"}));
    EXPECT_EQ(drives[0].name, "Loop device on /home/me/disk.img");
    EXPECT_EQ(drives[1].name, "SD32G");
    EXPECT_EQ(drives[2].name, "Small NVMe");
    EXPECT_EQ(drives[4].name, "Samsung SSD 860");
    EXPECT_EQ(drives[8].name, "Unknown");
}

TEST_F(FakeSysfs, UsbDisksAndEmptyReadersAreNamedForWhatTheyAre) {
    const DriveTable drives = enumerate();
    const auto by_path = [&](const std::string& path) {
        return *std::find_if(drives.begin(), drives.end(),
                             [&](const DriveInfo& d) { return d.path == path; });
    };
    EXPECT_EQ(by_path("/dev/sdb").name, "USB Device");
    const DriveInfo empty = by_path("/dev/sdc");
    EXPECT_EQ(empty.name, "Media missing or not inserted");
    EXPECT_FALSE(empty.hasMedium);
    EXPECT_EQ(empty.totalSectors, 0u);
}

TEST_F(FakeSysfs, GeometryIsTheTranslatedOneAndTheSizeIsExact) {
    const DriveTable drives = enumerate();
    const DriveInfo& ssd = drives[4];
    EXPECT_EQ(ssd.heads, 255u);
    EXPECT_EQ(ssd.sectorsPerTrack, 63u);
    EXPECT_EQ(ssd.totalSectors, 16514064u);
    EXPECT_EQ(ssd.cylinders, 16514064u / 16065);
    EXPECT_EQ(drive_capacity_text(ssd), "8063 MB ( Approx )");
}

TEST_F(FakeSysfs, LogicalSectorSizeComesFromTheQueue) {
    // A 4Kn disk says so in queue/logical_block_size; a disk without the file says nothing.
    write(root_ / "devices/pci0000:00/ata1/host0/block/sda/queue/logical_block_size", "4096\n");
    write(root_ / "devices/pci0000:00/ata9/host9/block/sdaa/queue/logical_block_size", "512\n");
    const DriveTable drives = enumerate();
    const auto size_of = [&](const std::string& path) {
        return std::find_if(drives.begin(), drives.end(),
                            [&](const DriveInfo& d) { return d.path == path; })
            ->sectorSize;
    };
    EXPECT_EQ(size_of("/dev/sda"), 4096u);
    EXPECT_EQ(size_of("/dev/sdaa"), 512u);
    EXPECT_EQ(size_of("/dev/vda"), 0u);
}

TEST(DriveTable, LargeDisksKeepEverySector) {
    const uint64_t sectors = 7814037168; // a 4 TB disk
    const DriveInfo d = drive_with_default_geometry(sectors);
    EXPECT_EQ(d.totalSectors, sectors);
    EXPECT_EQ(d.cylinders, 486401u);
}

TEST(DriveTable, ImageFilesAreDrives) {
    const std::string path = test::temp_path("image.img");
    std::ofstream(path, std::ios::binary) << std::string(5 * 512 + 100, 'x');
    const auto drive = describe_image(path);
    ASSERT_TRUE(drive.ok());
    EXPECT_EQ(drive->totalSectors, 5u); // a partial last sector is not a sector
    EXPECT_EQ(drive->path, path);
    EXPECT_EQ(drive->name, std::filesystem::path(path).filename());
    EXPECT_FALSE(describe_image("/nonexistent.img").ok());
}

TEST(DriveTable, ItemTextsCarryTheDriveNumber) {
    EXPECT_EQ(drive_item_text(0), "Storage Device0");
    EXPECT_EQ(drive_item_text(12), "Storage Device12");
    EXPECT_EQ(drive_index_from_item_text("Storage Device12"), 12u);
    EXPECT_EQ(drive_index_from_item_text("Storage Device"), std::nullopt);
    EXPECT_EQ(drive_index_from_item_text("My Computer"), std::nullopt);
}

} // namespace
} // namespace salvex
