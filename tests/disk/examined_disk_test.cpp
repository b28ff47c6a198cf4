// Which files and file systems lie on the disk being examined, judged from a made-up sysfs tree
// that relates devices as the kernel does: partitions below their disk, a device-mapper device
// naming its slaves, a loop device naming its backing file.
#include "disk/examined_disk.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/sysmacros.h>

namespace salvex {
namespace {

namespace fs = std::filesystem;

// A sysfs tree under a temporary folder: devices/NAME folders with their "dev" files, and
// dev/block/MAJ:MIN links to them.
class FakeSysfs {
public:
    explicit FakeSysfs(const std::string& stem) : root_(test::empty_temp_folder(stem)) {
        fs::create_directories(root_ / "dev/block");
    }
    std::string block_path() const { return (root_ / "dev/block").string(); }

    // Adds device `name` (a path below devices/, "sda/sda1" for a partition of sda).
    void add(const std::string& name, dev_t device, bool partition = false) {
        const fs::path dir = root_ / "devices" / name;
        fs::create_directories(dir);
        std::ofstream(dir / "dev") << major(device) << ":" << minor(device) << "\n";
        if (partition)
            std::ofstream(dir / "partition") << "1\n";
        fs::create_directory_symlink(
            fs::relative(dir, root_ / "dev/block"),
            root_ / "dev/block" /
                (std::to_string(major(device)) + ":" + std::to_string(minor(device))));
    }
    void add_slave(const std::string& name, const std::string& slave) {
        fs::create_directories(root_ / "devices" / name / "slaves");
        fs::create_directory_symlink(root_ / "devices" / slave, root_ / "devices" / name /
                                                                    "slaves" /
                                                                    fs::path(slave).filename());
    }
    void set_backing_file(const std::string& name, const std::string& file) {
        fs::create_directories(root_ / "devices" / name / "loop");
        std::ofstream(root_ / "devices" / name / "loop/backing_file") << file << "\n";
    }

private:
    fs::path root_;
};

const dev_t kDisk = makedev(8, 0);
const dev_t kFirst = makedev(8, 1);
const dev_t kMapped = makedev(253, 0);
const dev_t kLoop = makedev(7, 0);
const dev_t kLoopPartition = makedev(259, 0);

TEST(ExaminedDisk, AnImageIsReachedThroughEveryLoopDeviceThatReadsIt) {
    const std::string image = test::temp_path("disk.img");
    std::ofstream(image) << "image";
    FakeSysfs sys("sys");
    sys.add("sda", kDisk);
    sys.add("sda/sda1", kFirst, true);
    sys.add("loop0", kLoop);
    sys.set_backing_file("loop0", image);
    sys.add("loop0/loop0p1", kLoopPartition, true);
    sys.add("dm-0", kMapped);
    sys.add_slave("dm-0", "loop0/loop0p1");

    const ExaminedDisk examined(image, sys.block_path());
    EXPECT_TRUE(examined.holds_writes_of(kLoop));
    EXPECT_TRUE(examined.holds_writes_of(kLoopPartition)); // a partition of the loop device
    EXPECT_TRUE(examined.holds_writes_of(kMapped));        // built on that partition
    EXPECT_FALSE(examined.holds_writes_of(kFirst));        // where the image file merely lies
    EXPECT_FALSE(examined.holds_writes_of(makedev(9, 9))); // a device sysfs does not know

    // The image itself, through a hard link, is the examined disk; another file is not.
    const std::string link = test::temp_path("link.img");
    fs::create_hard_link(image, link);
    EXPECT_TRUE(examined.is(link));
    EXPECT_FALSE(examined.is(test::temp_path("other.img")));
    EXPECT_EQ(output_file_refusal(link, examined), link + " is the disk being examined");
    EXPECT_EQ(output_file_refusal("/dev/null", examined), "/dev/null is a device");
    EXPECT_EQ(output_file_refusal(test::temp_path("new.tsv"), examined), std::nullopt);
    // Nothing examined: nothing is refused but what is not a regular file.
    EXPECT_FALSE(ExaminedDisk().holds_writes_of(kLoop));
    EXPECT_EQ(output_file_refusal(link, ExaminedDisk()), std::nullopt);
}

// A block device node of this machine, to stand for the examined disk; "" when there is none.
std::string some_block_device() {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/dev", error)) {
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) == 0 && S_ISBLK(st.st_mode))
            return entry.path().string();
    }
    return {};
}

TEST(ExaminedDisk, ADeviceIsReachedThroughItsPartitionsAndWhatIsBuiltOnIt) {
    const std::string node = some_block_device();
    if (node.empty())
        GTEST_SKIP() << "this machine has no block device node";
    struct stat st {};
    ASSERT_EQ(::stat(node.c_str(), &st), 0);
    const dev_t disk = st.st_rdev;
    // Numbers no real device of the machine has.
    const dev_t partition = makedev(major(disk) + 1000, 1);
    const dev_t sibling = makedev(major(disk) + 1000, 2);
    const dev_t mapped = makedev(major(disk) + 1001, 0);
    const dev_t loop = makedev(major(disk) + 1002, 0);
    const dev_t otherDisk = makedev(major(disk) + 1003, 0);
    const dev_t otherPartition = makedev(major(disk) + 1003, 2);
    const std::string image = test::temp_path("on-disk.img");
    std::ofstream(image) << "image";

    // The examined device as a whole disk with two partitions, one mapped and one looped.
    FakeSysfs sys("sys");
    sys.add("disk", disk);
    sys.add("disk/part1", partition, true);
    sys.add("disk/part2", sibling, true);
    sys.add("dm-0", mapped);
    sys.add_slave("dm-0", "disk/part1");
    sys.add("loop0", loop);
    sys.set_backing_file("loop0", node);
    const ExaminedDisk whole(node, sys.block_path());
    EXPECT_TRUE(whole.holds_writes_of(disk));
    EXPECT_TRUE(whole.holds_writes_of(partition));
    EXPECT_TRUE(whole.holds_writes_of(sibling));
    EXPECT_TRUE(whole.holds_writes_of(mapped));
    EXPECT_TRUE(whole.holds_writes_of(loop)); // a loop device over the device node itself
    EXPECT_TRUE(whole.is(node));

    // The examined device as a partition: the whole disk holds it, its sibling does not.
    FakeSysfs nested("nested");
    nested.add("sda", otherDisk);
    nested.add("sda/examined", disk, true);
    nested.add("sda/sda2", otherPartition, true);
    const ExaminedDisk part(node, nested.block_path());
    EXPECT_TRUE(part.holds_writes_of(disk));
    EXPECT_TRUE(part.holds_writes_of(otherDisk));
    EXPECT_FALSE(part.holds_writes_of(otherPartition));
}

TEST(ExaminedDisk, APathNotMadeYetIsJudgedByItsNearestParent) {
    const std::string image = test::temp_path("disk.img");
    std::ofstream(image) << "image";
    struct stat here {};
    ASSERT_EQ(::stat(fs::path(test::temp_path("x")).parent_path().c_str(), &here), 0);
    // The folder holding the temporary files is "the examined image's loop device".
    FakeSysfs sys("sys");
    sys.add("loop0", here.st_dev);
    sys.set_backing_file("loop0", image);
    const ExaminedDisk examined(image, sys.block_path());
    EXPECT_TRUE(examined.under(test::temp_path("not/made/yet")));
    EXPECT_FALSE(ExaminedDisk(test::temp_path("missing.img"), sys.block_path())
                     .under(test::temp_path("out")));
}

} // namespace
} // namespace salvex
