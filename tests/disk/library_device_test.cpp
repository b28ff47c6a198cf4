// What the devices over the image libraries share: reads by windows, and the libraries' errors.
#include "disk/library_device.h"

#include <gtest/gtest.h>
#include <vector>

namespace salvex {
namespace {

// A library stand-in: byte n of the media is n mod 251; reads give at most 10,000 bytes a call
// (as a library may stop at a chunk's end) and fail where they touch [badFrom, badTo).
class FakeLibraryDevice final : public LibraryDevice {
public:
    FakeLibraryDevice(uint64_t size, size_t window, uint64_t badFrom = 0, uint64_t badTo = 0)
        : LibraryDevice(size, window), badFrom_(badFrom), badTo_(badTo) {}

    mutable std::vector<uint64_t> readsAt; // where each library call started

private:
    int64_t read_some(uint64_t offset, std::span<uint8_t> out) const override {
        readsAt.push_back(offset);
        const size_t length = std::min<size_t>(out.size(), 10000);
        if (offset < badTo_ && offset + length > badFrom_)
            return -1;
        for (size_t i = 0; i < length; ++i)
            out[i] = static_cast<uint8_t>((offset + i) % 251);
        return static_cast<int64_t>(length);
    }

    uint64_t badFrom_;
    uint64_t badTo_;
};

bool holds_media(const std::vector<uint8_t>& bytes, uint64_t offset) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != (offset + i) % 251)
            return false;
    }
    return true;
}

TEST(LibraryDevice, RunsStraddlingWindowsReadEachWindowOnce) {
    constexpr size_t kWindow = 64 * 1024;
    const FakeLibraryDevice device(1 << 20, kWindow);
    // 64 KiB runs that start 4 KiB past a window's start, as a run of MFT records may.
    std::vector<uint8_t> run(kWindow);
    for (uint64_t at = 4096; at + kWindow <= 1 << 20; at += kWindow) {
        ASSERT_TRUE(device.read_at(at, run)) << at;
        ASSERT_TRUE(holds_media(run, at)) << at;
    }
    std::vector<uint64_t> windowsRead;
    for (const uint64_t at : device.readsAt) {
        if (at % kWindow == 0)
            windowsRead.push_back(at);
    }
    EXPECT_EQ(windowsRead.size(), 16u); // every window once, none twice

    // Whole windows go to the caller as they are, and the media's short end is read too.
    const FakeLibraryDevice odd(3 * kWindow + 700, kWindow);
    std::vector<uint8_t> all(3 * kWindow + 700);
    ASSERT_TRUE(odd.read_at(0, all));
    EXPECT_TRUE(holds_media(all, 0));
    std::vector<uint8_t> tail(100);
    ASSERT_TRUE(odd.read_at(3 * kWindow + 600, tail));
    EXPECT_TRUE(holds_media(tail, 3 * kWindow + 600));
    EXPECT_FALSE(odd.read_at(3 * kWindow + 601, tail)); // past the end
}

TEST(LibraryDevice, FailureElsewhereInAWindowDoesNotFailARequestThatAvoidsIt) {
    constexpr size_t kWindow = 64 * 1024;
    const FakeLibraryDevice device(1 << 20, kWindow, 70000, 70512);
    std::vector<uint8_t> sector(512);
    ASSERT_TRUE(device.read_at(66000, sector)); // in the same window as the bad bytes
    EXPECT_TRUE(holds_media(sector, 66000));
    EXPECT_FALSE(device.read_at(69900, sector)); // the bad bytes themselves
    ASSERT_TRUE(device.read_at(71000, sector));
    EXPECT_TRUE(holds_media(sector, 71000));

    // Without windows every request goes to the library as it is.
    const FakeLibraryDevice plain(1 << 20, 0, 70000, 70512);
    ASSERT_TRUE(plain.read_at(66000, sector));
    EXPECT_EQ(plain.readsAt, std::vector<uint64_t>{66000});
}

TEST(LibraryErrorLine, MessagesJoinOnOneLineWithControlCharactersEscaped) {
    EXPECT_EQ(library_error_line("libcfile_open: no such file: /x.\n"
                                 "libvmdk_handle_open: unable to open handle.\n"),
              "libcfile_open: no such file: /x; libvmdk_handle_open: unable to open handle");
    EXPECT_EQ(library_error_line("extent \"a\x1b[2Jb\x7f\" missing.\r\n"),
              "extent \"a\\x1B[2Jb\\x7F\" missing");
    EXPECT_EQ(library_error_line("Caf\xc3\xa9.vmdk: unsupported"), "Caf\xc3\xa9.vmdk: unsupported");
    EXPECT_EQ(library_error_line(""), "");
}

} // namespace
} // namespace salvex
