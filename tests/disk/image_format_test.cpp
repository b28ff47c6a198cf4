// Telling disk images apart by their contents, and refusing the formats a build cannot read.
#include "disk/image_format.h"
#include "disk/open_image.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string_view>
#include <vector>

namespace salvex {
namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;

std::vector<uint8_t> bytes_of(std::string_view text, size_t size = kSignatureBytes) {
    std::vector<uint8_t> bytes(size, 0);
    std::copy(text.begin(), text.end(), bytes.begin());
    return bytes;
}

TEST(ImageSignature, EachFormatIsKnownByItsFirstOrLastBytes) {
    const std::vector<uint8_t> zeros(kSignatureBytes, 0);
    const struct {
        std::string_view head;
        ImageFormat format;
    } cases[] = {
        {"EVF\x09\x0d\x0a\xff\x00"sv, ImageFormat::Ewf},
        {"EVF2\x0d\x0a\x81\x00"sv, ImageFormat::Ewf2},
        {"vhdxfile"sv, ImageFormat::Vhdx},
        {"conectix"sv, ImageFormat::Vhd}, // the footer's copy at the start of a dynamic VHD
        {"# Disk DescriptorFile\nversion=1\n"sv, ImageFormat::Vmdk},
        {"KDMV\x01\x00\x00\x00"sv, ImageFormat::Vmdk},
        {"QFI\xfb\x00\x00\x00\x03"sv, ImageFormat::Qcow},
        {"\xeb\x52\x90NTFS    "sv, ImageFormat::Raw},
        {"EVF\x09\x0d\x0a\xff\x01"sv, ImageFormat::Raw}, // one byte off
        {"QFI"sv, ImageFormat::Raw},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(image_format_by_signature(bytes_of(c.head), zeros), c.format)
            << image_format_name(c.format);
    }
    // A fixed VHD is the disk's sectors followed by the footer alone.
    EXPECT_EQ(image_format_by_signature(zeros, bytes_of("conectix")), ImageFormat::Vhd);
    // Files shorter than a footer carry none, and nothing at all is a raw image.
    EXPECT_EQ(image_format_by_signature(bytes_of("EVF2", 4), {}), ImageFormat::Raw);
    EXPECT_EQ(image_format_by_signature(bytes_of("QFI\xfb"sv, 4), {}), ImageFormat::Qcow);
    EXPECT_EQ(image_format_by_signature({}, bytes_of("conectix", 100)), ImageFormat::Raw);
    EXPECT_EQ(image_format_by_signature({}, {}), ImageFormat::Raw);
}

// Files that carry only a format's signature, each in a folder of the test's own.
class SignatureFile : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::vector<uint8_t>& head,
                      const std::vector<uint8_t>& tail = {}) {
        const fs::path path = folder_ / name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(head.data()),
                  static_cast<std::streamsize>(head.size()));
        const std::vector<uint8_t> middle(64 * 1024, 0);
        out.write(reinterpret_cast<const char*>(middle.data()),
                  static_cast<std::streamsize>(middle.size()));
        out.write(reinterpret_cast<const char*>(tail.data()),
                  static_cast<std::streamsize>(tail.size()));
        return path.string();
    }

    const fs::path folder_ = test::empty_temp_folder("images");
};

TEST_F(SignatureFile, BuildWithoutALibraryRefusesItsFormatsSayingWhatToInstall) {
    const struct {
        std::string name;
        std::vector<uint8_t> head;
        std::vector<uint8_t> tail;
        std::string sentence;
    } cases[] = {
        {"disk.E01",
         bytes_of("EVF\x09\x0d\x0a\xff\x00"sv),
         {},
         "this build cannot read EnCase (E01) images: install libewf-dev and rebuild"},
        {"disk.Ex01",
         bytes_of("EVF2\x0d\x0a\x81\x00"sv),
         {},
         "this build cannot read EnCase (Ex01) images: install libewf-dev and rebuild"},
        {"disk.vhd",
         {},
         bytes_of("conectix"),
         "this build cannot read VHD images: install libvhdi-dev and rebuild"},
        {"disk.vhdx",
         bytes_of("vhdxfile"),
         {},
         "this build cannot read VHDX images: install libvhdi-dev and rebuild"},
        {"disk.vmdk",
         bytes_of("# Disk DescriptorFile\n"),
         {},
         "this build cannot read VMDK images: install libvmdk-dev and rebuild"},
        {"disk-s001.vmdk",
         bytes_of("KDMV"),
         {},
         "this build cannot read VMDK images: install libvmdk-dev and rebuild"},
        {"disk.qcow2",
         bytes_of("QFI\xfb"sv),
         {},
         "this build cannot read QCOW images: install libqcow-dev and rebuild"},
    };
    for (const auto& c : cases) {
        // The file's name plays no part: each is also tried under a raw image's name.
        for (const std::string& name : {c.name, "renamed-" + c.name + ".img"}) {
            const std::string path = write(name, c.head, c.tail);
            const auto device = open_image_or_device(path, ImageLibraries{});
            ASSERT_FALSE(device.ok()) << name;
            EXPECT_EQ(device.error(), "Cannot open " + path + ": " + c.sentence + ".");
        }
    }
    // Without any library, a raw image is still a raw image.
    const std::string raw = write("disk.img", bytes_of("\xeb\x52\x90NTFS    "sv));
    const auto device = open_image_or_device(raw, ImageLibraries{});
    ASSERT_TRUE(device.ok()) << device.error();
    EXPECT_EQ(device.value()->size_bytes(), kSignatureBytes + 64 * 1024);
}

TEST_F(SignatureFile, ContainerNoLibraryReadsIsNeverScannedAsRawSectors) {
    // The built-in libraries are given these files: whatever they make of them (a damaged
    // container, a format version they do not read), the result is never a raw disk.
    for (const auto& [name, head] : std::vector<std::pair<std::string, std::vector<uint8_t>>>{
             {"damaged.E01", bytes_of("EVF\x09\x0d\x0a\xff\x00"sv)},
             {"newer.Ex01", bytes_of("EVF2\x0d\x0a\x81\x00"sv)},
             {"damaged.vhdx", bytes_of("vhdxfile")},
             {"damaged.vmdk", bytes_of("# Disk DescriptorFile\n")},
             {"damaged.qcow2", bytes_of("QFI\xfb"sv)}}) {
        const std::string path = write(name, head);
        const auto device = open_image_or_device(path);
        ASSERT_FALSE(device.ok()) << name;
        EXPECT_NE(device.error().find(path), std::string::npos) << device.error();
        // One line, whatever the library's text held.
        EXPECT_EQ(device.error().find('\n'), std::string::npos) << device.error();
    }
}

} // namespace
} // namespace salvex
