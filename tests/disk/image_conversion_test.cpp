// A real NTFS disk converted by the field's own tools (ewfacquire, qemu-img, split) into each
// image format: salvex-cli lists and recovers every copy exactly as it does the raw image.
#include "disk/bytes.h"
#include "disk/open_image.h"
#include "tests/support/sha256.h"
#include "tests/support/shell.h"
#include "tests/support/test_images.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/wait.h>

namespace salvex {
namespace {

using test::cli;
using test::CommandOutput;
using test::shell;

namespace fs = std::filesystem;

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// The raw disk every format is made from: one NTFS partition of nested folders, named streams
// and deleted files.
const std::string kFixture = "ntfs_tree";

// SHA-256 of every file under `folder`, by its path there.
std::map<std::string, std::string> hashes_under(const fs::path& folder) {
    std::map<std::string, std::string> hashes;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            hashes[fs::relative(entry.path(), folder).string()] =
                test::sha256_of_file(entry.path().string());
    }
    return hashes;
}

// Each test converts the fixture into a folder of its own (tests run as separate processes,
// at the same time).
class Conversion : public ::testing::Test {
protected:
    struct Made {
        std::string path;   // the file to open
        std::string reason; // why it was not made
    };

    // The fixture converted to `format` by tools/build_images.py convert.
    Made convert(const std::string& format) {
        if (shell("command -v python3 >/dev/null").status != 0)
            return {"", "python3 not found"};
        const std::string tool =
            std::string(SALVEX_SOURCE_DATA_DIR) + "/../../tools/build_images.py";
        const CommandOutput made =
            shell("python3 " + quoted(tool) + " convert " + quoted(test::image_path(kFixture)) +
                  " " + quoted(folder_.string()) + " " + format);
        EXPECT_EQ(made.status, 0) << made.out;
        std::istringstream lines(made.out);
        std::string name, path, reason;
        std::getline(lines, name, '\t');
        std::getline(lines, path, '\t');
        std::getline(lines, reason);
        EXPECT_EQ(name, format);
        if (path.empty())
            return {"", reason.empty() ? "the converter made nothing: " + made.out : reason};
        if (path.back() == '\n')
            path.pop_back();
        return {path, ""};
    }

    // Everything in partition 1's root, recovered from `image` into a new folder.
    std::map<std::string, std::string> recovered(const std::string& image,
                                                 const std::string& name) {
        const fs::path to = folder_ / ("recovered-" + name);
        fs::create_directories(to);
        const CommandOutput r = shell(cli("recover --quiet --yes " + quoted(image) +
                                          " --partition 1 --to " + quoted(to.string())));
        EXPECT_EQ(r.status, 0) << image;
        return hashes_under(to);
    }

    const fs::path folder_ = test::empty_temp_folder("formats");
};

// "vhd-fixed" as a test's name: vhd_fixed.
std::string test_name(const ::testing::TestParamInfo<const char*>& format) {
    std::string name = format.param;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

class EveryFormat : public Conversion, public ::testing::WithParamInterface<const char*> {};

// The library a format of the converter is read with.
ImageLibrary library_for(std::string_view format) {
    if (format.starts_with("e01"))
        return ImageLibrary::Ewf;
    if (format.starts_with("vhd"))
        return ImageLibrary::Vhdi;
    if (format.starts_with("vmdk"))
        return ImageLibrary::Vmdk;
    if (format.starts_with("qcow"))
        return ImageLibrary::Qcow;
    return ImageLibrary::None;
}

TEST_P(EveryFormat, ListsAndRecoversExactlyAsTheRawImage) {
    const ImageLibrary library = library_for(GetParam());
    if (library != ImageLibrary::None && !built_in_image_libraries().has(library))
        GTEST_SKIP() << "this build has no " << library_name(library);
    const Made made = convert(GetParam());
    if (!made.reason.empty())
        GTEST_SKIP() << made.reason;
    const std::string raw = test::image_path(kFixture);

    const CommandOutput rawList = shell(cli("list --quiet " + quoted(raw) + " --partition 1"));
    const CommandOutput list = shell(cli("list --quiet " + quoted(made.path) + " --partition 1"));
    ASSERT_EQ(rawList.status, 0);
    EXPECT_EQ(list.status, 0);
    EXPECT_GT(std::count(rawList.out.begin(), rawList.out.end(), '\n'), 50);
    EXPECT_EQ(list.out, rawList.out);

    const auto rawFiles = recovered(raw, "raw");
    ASSERT_GT(rawFiles.size(), 20u);
    EXPECT_EQ(recovered(made.path, "converted"), rawFiles);

    // Every byte of the disk, read in pieces that straddle the container's chunks and blocks
    // (and the cache's), is the raw image's.
    const auto device = open_image_or_device(made.path);
    const auto rawDevice = open_image_or_device(raw);
    ASSERT_TRUE(device.ok() && rawDevice.ok());
    ASSERT_EQ(device.value()->size_bytes(), rawDevice.value()->size_bytes());
    std::vector<uint8_t> piece(40000), rawPiece(40000);
    const uint64_t size = rawDevice.value()->size_bytes();
    for (uint64_t at = 1000; at < size; at += piece.size()) {
        const size_t length = static_cast<size_t>(std::min<uint64_t>(piece.size(), size - at));
        ASSERT_TRUE(device.value()->read_at(at, std::span(piece).first(length))) << at;
        ASSERT_TRUE(rawDevice.value()->read_at(at, std::span(rawPiece).first(length)));
        ASSERT_TRUE(std::equal(piece.begin(), piece.begin() + length, rawPiece.begin())) << at;
    }

    // The drive listing gives the disk's own size, not the container file's.
    EXPECT_EQ(shell(cli("drives " + quoted(made.path) + " | tail -n 1 | cut -f 6")).out, "32768\n");

    // A build without the format's library refuses the container, known by its signature.
    if (library == ImageLibrary::None)
        return;
    const auto refused = open_image_or_device(made.path, ImageLibraries{});
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().find(": this build cannot read "), std::string::npos)
        << refused.error();
    EXPECT_TRUE(refused.error().ends_with("-dev and rebuild.")) << refused.error();
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat,
                         ::testing::Values("e01", "e01-segments", "vhd-fixed", "vhd-dynamic",
                                           "vhdx", "vmdk-sparse", "vmdk-flat", "qcow2",
                                           "qcow2-compressed", "split-digits", "split-letters"),
                         test_name);

TEST_F(Conversion, EwfImageWithASegmentMissingOrCutShortIsRefused) {
    if (!built_in_image_libraries().ewf)
        GTEST_SKIP() << "this build has no libewf";
    const Made made = convert("e01-segments");
    if (!made.reason.empty())
        GTEST_SKIP() << made.reason;
    const auto refusal = [&] {
        const auto device = open_image_or_device(made.path);
        return device.ok() ? std::string("opened") : device.error();
    };
    ASSERT_EQ(refusal(), "opened");
    const std::string prefix = "Cannot read the EnCase (E01) image " + made.path + ": ";
    // The library would read the lost segments' chunks as zeros.
    for (const char* lost : {".E05", ".E17"}) {
        const fs::path segment = fs::path(made.path).replace_extension(lost);
        const fs::path aside = segment.string() + ".aside";
        fs::rename(segment, aside);
        EXPECT_EQ(refusal().rfind(prefix + "its segment files are incomplete", 0), 0u) << refusal();
        fs::rename(aside, segment);
    }
    // The first segment alone, cut short.
    const fs::path cut = folder_ / "cut.E01";
    fs::copy_file(made.path, cut);
    fs::resize_file(cut, 4096);
    const auto device = open_image_or_device(cut.string());
    ASSERT_FALSE(device.ok());
    EXPECT_EQ(device.error().rfind("Cannot read the EnCase (E01) image " + cut.string(), 0), 0u)
        << device.error();
}

TEST_F(Conversion, VmdkExtentsAreFoundBesideTheirDescriptorAndAMissingOneIsNamed) {
    if (!built_in_image_libraries().vmdk)
        GTEST_SKIP() << "this build has no libvmdk";
    const Made made = convert("vmdk-flat");
    if (!made.reason.empty())
        GTEST_SKIP() << made.reason;
    // Named relative to the folder the program runs in.
    const std::string name = fs::path(made.path).filename().string();
    const CommandOutput list = shell("cd " + quoted(folder_.string()) + " && " +
                                     cli("list --quiet " + quoted(name) + " --partition 1"));
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(
        list.out,
        shell(cli("list --quiet " + quoted(test::image_path(kFixture)) + " --partition 1")).out);

    fs::remove(folder_ / (fs::path(made.path).stem().string() + "-flat.vmdk"));
    const auto device = open_image_or_device(made.path);
    ASSERT_FALSE(device.ok());
    EXPECT_EQ(device.error().rfind("Cannot read the VMDK image " + made.path + ": ", 0), 0u)
        << device.error();
}

TEST_F(Conversion, ImageOfChangesToAParentIsRefused) {
    if (!built_in_image_libraries().qcow && !built_in_image_libraries().vmdk)
        GTEST_SKIP() << "this build has neither libqcow nor libvmdk";
    if (shell("command -v qemu-img >/dev/null").status != 0)
        GTEST_SKIP() << "qemu-img not found (Debian package qemu-utils)";
    for (const auto& [format, library] : {std::pair{"qcow2", built_in_image_libraries().qcow},
                                          std::pair{"vmdk", built_in_image_libraries().vmdk}}) {
        if (!library)
            continue;
        const std::string base = (folder_ / (std::string("base.") + format)).string();
        const std::string child = (folder_ / (std::string("child.") + format)).string();
        ASSERT_EQ(shell("qemu-img create -q -f " + std::string(format) + " " + quoted(base) +
                        " 16M && qemu-img create -q -f " + format + " -b " + quoted(base) + " -F " +
                        format + " " + quoted(child))
                      .status,
                  0);
        ASSERT_TRUE(open_image_or_device(base).ok()) << format;
        const auto device = open_image_or_device(child);
        ASSERT_FALSE(device.ok()) << format;
        EXPECT_NE(device.error().find("holds only the changes made to its parent image"),
                  std::string::npos)
            << device.error();
    }
}

} // namespace
} // namespace salvex
