// salvex-cli recover on a drive with sectors that cannot be read: every file is written, those
// sectors as zeros, and the exit status is 3. The drive is the demo disk seen through a
// device-mapper table with an error target over one cluster of a file, or a QCOW2 conversion of
// it whose cluster table sends that cluster past the end of the image file.
#include "disk/image_format.h"
#include "tests/support/demo_file.h"
#include "tests/support/file_bytes.h"
#include "tests/support/recovered_files.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/shell.h"
#include "tests/support/test_images.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <unistd.h>

namespace salvex {
namespace {

using test::cli;
using test::file_bytes;
using test::shell;
using test::Undo;

using test::FileOnDisk;

constexpr const char* kFile = test::kDemoFile;
constexpr uint64_t kFileSize = test::kDemoFileSize;
constexpr uint32_t kClusterSectors = test::kDemoClusterSectors;

// Recovers the file from `drive`, whose sectors from the file's first to `unreadable` after it
// cannot be read, and checks what the user is told and given.
void expect_written_with_zeros(const std::string& drive, const FileOnDisk& file,
                               uint64_t unreadable) {
    const std::string target = test::empty_temp_folder("recovered");
    const std::string report = test::temp_path("report.tsv");
    const std::string errors = test::temp_path("stderr");
    const auto r = shell(cli("recover --quiet " + drive + " --partition 1 --to " + target + " " +
                             kFile + " --retries 1 --report " + report + " 2>" + errors));
    EXPECT_EQ(r.status, 3) << file_bytes(errors);
    EXPECT_EQ(r.out, "Recovered 1 file(s) to " + target + "; 0 failed.\n");
    EXPECT_EQ(
        file_bytes(errors),
        "salvex-cli recover: 0 file(s) failed and 1 hold zeros for unreadable sectors: " + target +
            "/ledger-notes.txt (" + std::to_string(unreadable) + " sector(s) written as zeros).\n");

    // status size sha256 unreadable recoverable path
    std::ifstream lines(report);
    std::string header;
    std::string line;
    std::getline(lines, header);
    std::getline(lines, line);
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');)
        cells.push_back(cell);
    ASSERT_EQ(cells.size(), 6u) << line;
    EXPECT_EQ(cells[0], "written");
    EXPECT_EQ(cells[1], std::to_string(kFileSize));
    EXPECT_EQ(cells[3], std::to_string(unreadable));
    EXPECT_EQ(cells[5], "/ledger-notes.txt");

    // The unreadable sectors are zeros, the rest is the file.
    std::string expected = file.content;
    std::fill_n(expected.begin(), unreadable * 512, '\0');
    EXPECT_TRUE(file_bytes(target + "/ledger-notes.txt") == expected);
}

TEST(UnreadableSectors, DeviceMapperErrorTargetOverAFilesClusterExitsThree) {
    if (geteuid() != 0)
        GTEST_SKIP() << "a loop device and a device-mapper table need root";
    if (shell("command -v dmsetup >/dev/null 2>&1").status != 0)
        GTEST_SKIP() << "dmsetup not found (Debian package dmsetup)";
    if (shell("dmsetup version >/dev/null 2>&1").status != 0)
        GTEST_SKIP() << "this kernel has no device-mapper driver ('dmsetup version' fails)";
    const FileOnDisk file = test::demo_file_on_disk();
    ASSERT_NE(file.firstSector, 0u);

    const std::string image = test::image_path("demo");
    const auto attached = shell("losetup -r -f --show " + image + " 2>/dev/null");
    if (attached.status != 0 || attached.out.empty())
        GTEST_SKIP() << "no loop device could be attached here";
    const std::string loop = attached.out.substr(0, attached.out.find('\n'));
    const Undo detach("losetup -d " + loop);

    // One whole cluster fails: a buffered read of a block device fails by pages of 4096 bytes.
    const uint64_t total = std::filesystem::file_size(image) / 512;
    const Lba bad = file.firstSector;
    const Lba after = bad + kClusterSectors;
    std::ostringstream table;
    table << "0 " << bad << " linear " << loop << " 0\\n"
          << bad << " " << kClusterSectors << " error\\n"
          << after << " " << total - after << " linear " << loop << " " << after << "\\n";
    const std::string name = "salvex-test-" + std::to_string(getpid());
    if (shell("printf '" + table.str() + "' | dmsetup create --readonly " + name +
              " >/dev/null 2>&1 && dmsetup mknodes " + name)
            .status != 0) {
        shell("dmsetup remove " + name + " >/dev/null 2>&1");
        GTEST_SKIP() << "the device-mapper table could not be created";
    }
    const Undo remove("dmsetup remove --retry " + name);
    expect_written_with_zeros("/dev/mapper/" + name, file, kClusterSectors);
}

// Big-endian fields of a QCOW2 image.
uint64_t be_at(const std::string& bytes, uint64_t at, int width) {
    uint64_t value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | static_cast<uint8_t>(bytes.at(at + i));
    return value;
}

void put_be64(std::string& bytes, uint64_t at, uint64_t value) {
    for (int i = 7; i >= 0; --i, value >>= 8)
        bytes.at(at + i) = static_cast<char>(value & 0xff);
}

TEST(UnreadableSectors, QcowClusterPastTheImagesEndExitsThree) {
    if (!built_in_image_libraries().has(ImageLibrary::Qcow))
        GTEST_SKIP() << "this build has no libqcow";
    if (shell("command -v qemu-img >/dev/null 2>&1").status != 0)
        GTEST_SKIP() << "qemu-img not found (Debian package qemu-utils)";
    const FileOnDisk file = test::demo_file_on_disk();
    ASSERT_NE(file.firstSector, 0u);
    const std::string qcow = test::temp_path("demo.qcow2");
    ASSERT_EQ(shell("qemu-img convert -q -f raw -O qcow2 -o cluster_size=4096 " +
                    test::image_path("demo") + " " + qcow)
                  .status,
              0);

    // Header: cluster_bits at 20 (4 bytes), the L1 table's offset at 40 (8 bytes). An L1 or L2
    // entry holds its cluster's offset in bits 9 to 55.
    std::string bytes = file_bytes(qcow);
    const uint64_t clusterBits = be_at(bytes, 20, 4);
    ASSERT_EQ(clusterBits, 12u);
    const uint64_t l2Bits = clusterBits - 3;
    const uint64_t guest = file.firstSector * 512;
    constexpr uint64_t kOffsetMask = 0x00fffffffffffe00;
    const uint64_t l1Entry =
        be_at(bytes, be_at(bytes, 40, 8) + 8 * (guest >> (clusterBits + l2Bits)), 8);
    const uint64_t l2Entry =
        (l1Entry & kOffsetMask) + 8 * ((guest >> clusterBits) & ((1u << l2Bits) - 1));
    ASSERT_NE(be_at(bytes, l2Entry, 8) & kOffsetMask, 0u) << "the file's cluster is not stored";
    const uint64_t pastTheEnd = (bytes.size() >> clusterBits << clusterBits) + (1u << 24);
    put_be64(bytes, l2Entry, (uint64_t{1} << 63) | pastTheEnd);
    std::ofstream(qcow, std::ios::binary | std::ios::trunc) << bytes;

    expect_written_with_zeros(qcow, file, kClusterSectors);

    // Only the damaged file is touched: the whole volume, recovered from the damaged copy, holds
    // every other file of the manifest as it was written.
    const std::string whole = test::empty_temp_folder("whole");
    EXPECT_EQ(shell(cli("recover --quiet " + qcow + " --partition 1 --to " + whole +
                        " --retries 1 2>/dev/null"))
                  .status,
              3);
    const auto others = [](const test::ManifestEntry& e) {
        return e.partition != 1 || e.path == kFile;
    };
    EXPECT_GT(test::expect_files_as_written(
                  test::read_manifest(test::source_data_path("demo.manifest.tsv")), whole, others),
              20u);
}

} // namespace
} // namespace salvex
