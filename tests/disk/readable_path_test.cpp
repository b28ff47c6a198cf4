// Which paths are opened as drives or as files to read: regular files, and block devices where a
// drive is wanted; a named pipe, a character device or a folder is refused before it is opened.
#include "disk/block_device.h"
#include "tests/support/test_images.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace salvex {
namespace {

namespace fs = std::filesystem;

// A block device node of this machine, or "" when none can be found.
std::string some_block_device() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/block", ec)) {
        const fs::path node = fs::path("/dev") / entry.path().filename();
        struct stat st {};
        if (::stat(node.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
            return node.string();
    }
    return {};
}

TEST(ReadablePath, ARegularFileOpensBlockingOtherKindsAreRefusedByName) {
    const fs::path folder = test::empty_temp_folder("kinds");
    const std::string file = (folder / "disk.img").string();
    std::ofstream(file) << "sectors";
    const std::string pipe = (folder / "p").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);

    const auto opened = open_read_only(file, ReadableKinds::Files, "a file");
    ASSERT_TRUE(opened.ok()) << opened.error();
    const int flags = ::fcntl(*opened, F_GETFL);
    EXPECT_EQ(flags & O_NONBLOCK, 0); // opened without blocking, handed back blocking
    EXPECT_EQ(flags & O_ACCMODE, O_RDONLY);
    ::close(*opened);

    for (const ReadableKinds kinds : {ReadableKinds::Files, ReadableKinds::FilesAndBlockDevices}) {
        EXPECT_EQ(kind_not_readable(file, kinds), std::nullopt);
        EXPECT_EQ(kind_not_readable(pipe, kinds), "a named pipe");
        EXPECT_EQ(kind_not_readable("/dev/null", kinds), "a character device");
        EXPECT_EQ(kind_not_readable(folder.string(), kinds), "a folder");
        // A path that cannot be looked at is left for opening to explain.
        EXPECT_EQ(kind_not_readable((folder / "none").string(), kinds), std::nullopt);
    }
    const auto refused = open_read_only(pipe, ReadableKinds::FilesAndBlockDevices, "a drive");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(), pipe + " is not a drive (a named pipe).");
    const auto missing = open_read_only((folder / "none").string(), ReadableKinds::Files, "a file");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(),
              "Cannot open " + (folder / "none").string() + ": no such device or file.");

    const std::string device = some_block_device();
    if (device.empty())
        GTEST_SKIP() << "no block device node found under /dev";
    EXPECT_EQ(kind_not_readable(device, ReadableKinds::FilesAndBlockDevices), std::nullopt);
    EXPECT_EQ(kind_not_readable(device, ReadableKinds::Files), "a block device");
    if (::access(device.c_str(), R_OK) != 0)
        GTEST_SKIP() << device << " cannot be read by this user";
    const auto disk = open_read_only(device, ReadableKinds::FilesAndBlockDevices, "a drive");
    ASSERT_TRUE(disk.ok()) << disk.error();
    const int diskFlags = ::fcntl(*disk, F_GETFL);
    EXPECT_EQ(diskFlags & O_NONBLOCK, 0); // opened once more, blocking, through its driver
    EXPECT_EQ(diskFlags & O_ACCMODE, O_RDONLY);
    ::close(*disk);
}

} // namespace
} // namespace salvex
