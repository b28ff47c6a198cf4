// salvex-cli saving and loading snapshots: never over the examined image or a file that is not a
// snapshot, and never against a disk the snapshot was not made of.
#include "snapshot/snapshot_writer.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/sha256.h"
#include "tests/support/shell.h"
#include "tests/support/test_images.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <vector>

namespace salvex {
namespace {

using test::cli;
using test::CommandOutput;
using test::shell;

namespace fs = std::filesystem;

TEST(SnapshotCli, ASnapshotNamedLikeTheExaminedImageLeavesTheImageUntouched) {
    const fs::path folder = test::empty_temp_folder("image");
    const std::string image = (folder / "DISK.QRSX").string();
    fs::copy_file(test::image_path("ntfs_tree"), image);
    const std::string before = test::sha256_of_file(image);
    fs::create_symlink(image, folder / "LINK.QRSX");
    // "disk" is upper-cased to the image's own name; the link leads to it too.
    for (const std::string name : {"disk", "disk.qrsx", "LINK"}) {
        const CommandOutput r =
            shell(cli("list --quiet " + image + " --partition 1 --save-snapshot " +
                      (folder / name).string() + " 2>&1 >/dev/null"));
        EXPECT_EQ(r.status, 1) << name;
        const std::string target = snapshot_path((folder / name).string());
        EXPECT_EQ(r.out, "salvex-cli list: " + target +
                             " is the disk being examined; choose another name for the "
                             "snapshot.\n");
    }
    EXPECT_EQ(test::sha256_of_file(image), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

TEST(SnapshotCli, OnlyAnEarlierSnapshotIsReplaced) {
    const fs::path folder = test::empty_temp_folder("replace");
    const std::string demo = test::image_path("demo");
    std::ofstream(folder / "NOTES.QRSX") << "my notes";
    const CommandOutput refused =
        shell(cli("list --quiet " + demo + " --partition 3 --save-snapshot " +
                  (folder / "notes").string() + " 2>&1 >/dev/null"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "salvex-cli list: " + (folder / "NOTES.QRSX").string() +
                               " exists and is not a snapshot file; choose another name for "
                               "the snapshot.\n");
    EXPECT_EQ(fs::file_size(folder / "NOTES.QRSX"), 8u);
    // Refused before the volume is opened and scanned: partition 2 is FAT32, which the scan
    // would refuse with its own sentence.
    const CommandOutput early =
        shell(cli("list --quiet " + demo + " --partition 2 --save-snapshot " +
                  (folder / "notes").string() + " 2>&1 >/dev/null"));
    EXPECT_EQ(early.status, 1);
    EXPECT_EQ(early.out, refused.out);

    const std::string scan = (folder / "scan").string();
    for (int time = 0; time < 2; ++time) {
        const CommandOutput saved =
            shell(cli("list --quiet " + demo + " --partition 3 --save-snapshot " + scan));
        EXPECT_EQ(saved.status, 0) << "save " << time;
    }
    EXPECT_TRUE(fs::exists(folder / "SCAN.QRSX"));
}

TEST(SnapshotCli, AnotherDisksSnapshotIsRefusedAChangedDisksLoadsWithAWarning) {
    const fs::path folder = test::empty_temp_folder("drives");
    const std::string demo = test::image_path("demo");
    const std::string snapshot = (folder / "DEMO.QRSX").string();
    const CommandOutput scanned = shell(cli(
        "list --quiet " + demo + " --partition 1 --save-snapshot " + (folder / "demo").string()));
    ASSERT_EQ(scanned.status, 0);

    const CommandOutput other = shell(
        cli("list --quiet " + test::image_path("ntfs_tree") + " --snapshot " + snapshot + " 2>&1"));
    EXPECT_EQ(other.status, 1);
    EXPECT_TRUE(other.out.starts_with("salvex-cli list: The snapshot does not belong to this "
                                      "drive: "))
        << other.out;
    EXPECT_EQ(other.out.find('\n'), other.out.size() - 1) << other.out;

    const CommandOutput same =
        shell(cli("list --quiet " + demo + " --snapshot " + snapshot + " 2>&1"));
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(same.out, scanned.out);

    // The record of the list's first file wiped since: one sampled item out of many.
    const auto scan = test::scan_image_partition("demo", 1);
    const std::string changed = test::damaged_copy("demo", {scan.scan.items.files[0].recordSector});
    const CommandOutput warned =
        shell(cli("list --quiet " + changed + " --snapshot " + snapshot + " 2>&1 >/dev/null"));
    EXPECT_EQ(warned.status, 0);
    EXPECT_TRUE(warned.out.starts_with("salvex-cli list: warning: The drive has changed since "
                                       "the snapshot was made: 1 of "))
        << warned.out;
}

// A snapshot is input like any other: a saved parameter no NTFS volume can have refuses it,
// naming the field, before anything is allocated by its measure; a snapshot of a file system
// other than NTFS holds nothing to list and is refused as well.
TEST(SnapshotCli, DamagedSnapshotHeadersAreRefusedNamingTheField) {
    const std::string image = test::image_path("demo");
    const std::string before = test::sha256_of_file(image);
    const std::string saved = test::temp_path("scan");
    ASSERT_EQ(shell(cli("list --quiet " + image + " --partition 1 --save-snapshot " + saved) +
                    " >/dev/null")
                  .status,
              0);
    const std::string file = snapshot_path(saved);
    const struct {
        size_t at;
        std::vector<uint8_t> bytes;
        std::string said;
    } damages[] = {
        {64, {0xFF, 0xFF, 0xFF, 0xFF}, "its sectors per file record (4294967295)"},
        {32, {0x03, 0, 0, 0}, "its sectors per cluster (3)"},
        {72, {0x10, 0, 0, 0}, "its volume's last sector (16) lies before its first"},
        {26, {0, 0}, "holds no NTFS volume"},
    };
    for (const auto& damage : damages) {
        const std::string copy = test::temp_path("DAMAGED.QRSX");
        std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
        {
            std::fstream patch(copy, std::ios::in | std::ios::out | std::ios::binary);
            patch.seekp(static_cast<std::streamoff>(damage.at));
            patch.write(reinterpret_cast<const char*>(damage.bytes.data()),
                        static_cast<std::streamsize>(damage.bytes.size()));
        }
        const CommandOutput r =
            shell(cli("list --quiet " + image + " --snapshot " + copy) + " 2>&1");
        EXPECT_EQ(r.status, 1) << damage.said << ": " << r.out;
        EXPECT_NE(r.out.find(damage.said), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("kind\t"), std::string::npos) << r.out;
    }
    EXPECT_EQ(test::sha256_of_file(image), before);
}

} // namespace
} // namespace salvex
